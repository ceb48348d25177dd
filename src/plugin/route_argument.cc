#include "plugin/route_argument.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "binding/message_format.h"

namespace Varn::route_argument_internal {
namespace {

constexpr std::string_view kRequired = "A value for '%1' is required.";
constexpr std::string_view kInvalidType =
    "Couldn't assign value to '%1' of type %2 because the input is of an invalid type %3.";
constexpr std::string_view kFormat = "Value %1 for '%2' of type %3 is in an incorrect format";
constexpr std::string_view kRange = "Value %1 for '%2' of type %3 is out of range";
constexpr std::string_view kBoolFormat =
    "Value %1 for '%2' of type bool is in an incorrect format. Options are \"true\", \"false\", "
    "\"1\", \"0\".";
constexpr std::string_view kBoolType =
    "Couldn't assign value to '%1' of type bool because the input is of an invalid type %2.";
constexpr std::string_view kNotString =
    "Couldn't assign value to '%1' because the input is not a string.";
constexpr std::string_view kNotCollection =
    "Couldn't assign value to '%1' of type vector because the input not a collection.";

const char* KindName(const BindingProperty& value) {
  return BindingProperty::TypeName(value.GetType());
}

bool Start(BindingResult& result, const BindingProperty& value, std::string_view name) {
  if (!result.IsOk()) return false;
  if (value.IsEmpty()) {
    result.SetError(FormatMessage(kRequired, name));
    return false;
  }
  return true;
}

}  // namespace

void AssignBool(BindingResult& result, const BindingProperty& value, std::string_view name,
                bool& out) {
  if (!Start(result, value, name)) return;
  switch (value.GetType()) {
    case BindingPropertyType::Bool:
      out = value.GetBool();
      return;
    case BindingPropertyType::String: {
      std::string_view text = value.GetString();
      if (text == "1" || text == "true") {
        out = true;
      } else if (text == "0" || text == "false") {
        out = false;
      } else {
        result.SetError(FormatMessage(kBoolFormat, text, name));
      }
      return;
    }
    default:
      result.SetError(FormatMessage(kBoolType, name, KindName(value)));
  }
}

void AssignSigned(BindingResult& result, const BindingProperty& value, std::string_view name,
                  int64_t min, int64_t max, std::string_view type_name, int64_t& out) {
  if (!Start(result, value, name)) return;
  switch (value.GetType()) {
    case BindingPropertyType::Signed: {
      int64_t v = value.GetSigned();
      if (v < min || v > max) return result.SetError(FormatMessage(kRange, v, name, type_name));
      out = v;
      return;
    }
    case BindingPropertyType::Unsigned: {
      uint64_t v = value.GetUnsigned();
      if (v > static_cast<uint64_t>(max)) {
        return result.SetError(FormatMessage(kRange, v, name, type_name));
      }
      out = static_cast<int64_t>(v);
      return;
    }
    case BindingPropertyType::Float: {
      double v = value.GetFloat();
      if (!(v >= static_cast<double>(min) && v <= static_cast<double>(max))) {
        return result.SetError(FormatMessage(kRange, v, name, type_name));
      }
      out = static_cast<int64_t>(v);
      return;
    }
    case BindingPropertyType::Enum: {
      int64_t v = value.GetEnum().value;
      if (v < min || v > max) return result.SetError(FormatMessage(kRange, v, name, type_name));
      out = v;
      return;
    }
    case BindingPropertyType::String: {
      std::string text(value.GetString());
      char* end = nullptr;
      errno = 0;
      long long v = std::strtoll(text.c_str(), &end, 0);
      if (*end != '\0') return result.SetError(FormatMessage(kFormat, text, name, type_name));
      if (errno == ERANGE || v < min || v > max) {
        return result.SetError(FormatMessage(kRange, text, name, type_name));
      }
      out = v;
      return;
    }
    default:
      result.SetError(FormatMessage(kInvalidType, name, type_name, KindName(value)));
  }
}

void AssignUnsigned(BindingResult& result, const BindingProperty& value, std::string_view name,
                    uint64_t max, std::string_view type_name, uint64_t& out) {
  if (!Start(result, value, name)) return;
  switch (value.GetType()) {
    case BindingPropertyType::Signed:
    case BindingPropertyType::Enum: {
      int64_t v =
          value.GetType() == BindingPropertyType::Enum ? value.GetEnum().value : value.GetSigned();
      if (v < 0 || static_cast<uint64_t>(v) > max) {
        return result.SetError(FormatMessage(kRange, v, name, type_name));
      }
      out = static_cast<uint64_t>(v);
      return;
    }
    case BindingPropertyType::Unsigned: {
      uint64_t v = value.GetUnsigned();
      if (v > max) return result.SetError(FormatMessage(kRange, v, name, type_name));
      out = v;
      return;
    }
    case BindingPropertyType::Float: {
      double v = value.GetFloat();
      if (!(v >= 0 && v <= static_cast<double>(max))) {
        return result.SetError(FormatMessage(kRange, v, name, type_name));
      }
      out = static_cast<uint64_t>(v);
      return;
    }
    case BindingPropertyType::String: {
      std::string text(value.GetString());
      char* end = nullptr;
      errno = 0;
      unsigned long long v = std::strtoull(text.c_str(), &end, 0);
      if (*end != '\0') return result.SetError(FormatMessage(kFormat, text, name, type_name));
      if (errno == ERANGE || v > max || text.starts_with("-")) {
        return result.SetError(FormatMessage(kRange, text, name, type_name));
      }
      out = v;
      return;
    }
    default:
      result.SetError(FormatMessage(kInvalidType, name, type_name, KindName(value)));
  }
}

void AssignDouble(BindingResult& result, const BindingProperty& value, std::string_view name,
                  double min, double max, std::string_view type_name, double& out) {
  if (!Start(result, value, name)) return;
  switch (value.GetType()) {
    case BindingPropertyType::Signed:
      out = static_cast<double>(value.GetSigned());
      return;
    case BindingPropertyType::Unsigned:
      out = static_cast<double>(value.GetUnsigned());
      return;
    case BindingPropertyType::Enum:
      out = value.GetEnum().value;
      return;
    case BindingPropertyType::Float: {
      double v = value.GetFloat();
      if (v < min || v > max) return result.SetError(FormatMessage(kRange, v, name, type_name));
      out = v;
      return;
    }
    case BindingPropertyType::String: {
      std::string text(value.GetString());
      char* end = nullptr;
      errno = 0;
      double v = std::strtod(text.c_str(), &end);
      if (*end != '\0') return result.SetError(FormatMessage(kFormat, text, name, type_name));
      if (errno == ERANGE || v < min || v > max) {
        return result.SetError(FormatMessage(kRange, text, name, type_name));
      }
      out = v;
      return;
    }
    default:
      result.SetError(FormatMessage(kInvalidType, name, type_name, KindName(value)));
  }
}

void AssignString(BindingResult& result, const BindingProperty& value, std::string_view name,
                  std::string& out) {
  if (!Start(result, value, name)) return;
  if (value.GetType() != BindingPropertyType::String) {
    return result.SetError(FormatMessage(kNotString, name));
  }
  out = value.GetString();
}

void RequireCollection(BindingResult& result, const BindingProperty& value, std::string_view name) {
  if (!Start(result, value, name)) return;
  if (value.GetType() != BindingPropertyType::Collection) {
    result.SetError(FormatMessage(kNotCollection, name));
  }
}

}  // namespace Varn::route_argument_internal

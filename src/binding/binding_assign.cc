#include "binding/binding_assign.h"

#include <cerrno>
#include <cstdlib>
#include <limits>
#include <string>

#include "binding/base64.h"
#include "binding/message_format.h"

namespace Varn {

namespace {

constexpr std::string_view kRequired = "A value for '%1' is required.";
constexpr std::string_view kInvalidType =
    "Couldn't assign value to '%1' of type %2 because the input is of an invalid type %3.";
constexpr std::string_view kIncorrectFormat =
    "Value %1 for '%2' of type %3 is in an incorrect format";
constexpr std::string_view kOutOfRange = "Value %1 for '%2' of type %3 is out of range";
constexpr std::string_view kBoolIncorrectFormat =
    "Value %1 for '%2' of type bool is in an incorrect format. Options are \"true\", \"false\", "
    "\"1\", \"0\".";
constexpr std::string_view kBoolInvalidType =
    "Couldn't assign value to '%1' of type bool because the input is of an invalid type %2.";
constexpr std::string_view kNotString =
    "Couldn't assign value to '%1' because the input is not a string.";
constexpr std::string_view kNotEnumValue = "%1 is not a valid enumeration value for '%2'.";
constexpr std::string_view kNotTypedEnumValue = "%1 is not a valid %2 enumeration value for '%3'.";
constexpr std::string_view kEnumInvalidType =
    "Couldn't assign value to '%1' of enum type because the input is of an invalid type %2.";
constexpr std::string_view kInvalidBase64 =
    "Couldn't assign string value to '%1' of type blob because the input has invalid base64 "
    "characters.";
constexpr std::string_view kNotBlob =
    "Couldn't assign value to '%1' of type blob because the input is not a blob.";

// 2^63 and 2^64: the first doubles above the int64 and uint64 ranges. The ranges' own maxima
// round up to these when converted, so an inclusive comparison alone would let them through to
// an undefined conversion.
constexpr double kTwoPow63 = 9223372036854775808.0;
constexpr double kTwoPow64 = 18446744073709551616.0;

template <class... Args>
void Fail(BindingResult& result, std::string_view format, const Args&... args) {
  result.SetError(FormatMessage(format, args...));
}

const char* KindName(const BindingProperty& value) {
  return BindingProperty::TypeName(value.GetType());
}

// Reads the whole of `text` with a C library reader, which needs a terminated copy. False when
// characters are left unread; an embedded NUL leaves the rest unread too.
template <class T, class Reader>
bool ReadNumber(std::string_view text, Reader reader, T& out, bool& range_error) {
  std::string copy(text);
  char* end = nullptr;
  errno = 0;
  out = reader(copy.c_str(), &end);
  range_error = errno == ERANGE;
  return end == copy.c_str() + copy.size();
}

}  // namespace

bool AssignBool(BindingResult& result, const BindingProperty& value, std::string_view field) {
  if (!result.IsOk()) return false;
  switch (value.GetType()) {
    case BindingPropertyType::Empty:
      Fail(result, kRequired, field);
      return false;
    case BindingPropertyType::Bool:
      return value.GetBool();
    case BindingPropertyType::String: {
      std::string_view text = value.GetString();
      if (text == "1" || text == "true") return true;
      if (text == "0" || text == "false") return false;
      Fail(result, kBoolIncorrectFormat, text, field);
      return false;
    }
    default:
      Fail(result, kBoolInvalidType, field, KindName(value));
      return false;
  }
}

int64_t AssignSigned(BindingResult& result, const BindingProperty& value, std::string_view field,
                     int64_t min, int64_t max, std::string_view type_name) {
  if (!result.IsOk()) return 0;
  switch (value.GetType()) {
    case BindingPropertyType::Empty:
      Fail(result, kRequired, field);
      return 0;
    case BindingPropertyType::Signed: {
      int64_t v = value.GetSigned();
      if (v >= min && v <= max) return v;
      Fail(result, kOutOfRange, v, field, type_name);
      return 0;
    }
    case BindingPropertyType::Unsigned: {
      uint64_t v = value.GetUnsigned();
      if (max >= 0 && v <= static_cast<uint64_t>(max)) return static_cast<int64_t>(v);
      Fail(result, kOutOfRange, v, field, type_name);
      return 0;
    }
    case BindingPropertyType::Float: {
      double v = value.GetFloat();
      // Written so that NaN fails.
      if (v >= static_cast<double>(min) && v <= static_cast<double>(max) && v < kTwoPow63) {
        return static_cast<int64_t>(v);
      }
      Fail(result, kOutOfRange, v, field, type_name);
      return 0;
    }
    case BindingPropertyType::Enum: {
      int32_t v = value.GetEnum().value;
      if (v >= min && v <= max) return v;
      Fail(result, kOutOfRange, v, field, type_name);
      return 0;
    }
    case BindingPropertyType::String: {
      std::string_view text = value.GetString();
      long long v = 0;
      bool range_error = false;
      if (!ReadNumber(
              text, [](const char* s, char** end) { return std::strtoll(s, end, 0); }, v,
              range_error)) {
        Fail(result, kIncorrectFormat, text, field, type_name);
        return 0;
      }
      if (range_error || v < min || v > max) {
        Fail(result, kOutOfRange, text, field, type_name);
        return 0;
      }
      return v;
    }
    default:
      Fail(result, kInvalidType, field, type_name, KindName(value));
      return 0;
  }
}

uint64_t AssignUnsigned(BindingResult& result, const BindingProperty& value, std::string_view field,
                        uint64_t max, std::string_view type_name) {
  if (!result.IsOk()) return 0;
  switch (value.GetType()) {
    case BindingPropertyType::Empty:
      Fail(result, kRequired, field);
      return 0;
    case BindingPropertyType::Signed: {
      int64_t v = value.GetSigned();
      if (v >= 0 && static_cast<uint64_t>(v) <= max) return static_cast<uint64_t>(v);
      Fail(result, kOutOfRange, v, field, type_name);
      return 0;
    }
    case BindingPropertyType::Unsigned: {
      uint64_t v = value.GetUnsigned();
      if (v <= max) return v;
      Fail(result, kOutOfRange, v, field, type_name);
      return 0;
    }
    case BindingPropertyType::Float: {
      double v = value.GetFloat();
      if (v >= 0.0 && v <= static_cast<double>(max) && v < kTwoPow64) {
        return static_cast<uint64_t>(v);
      }
      Fail(result, kOutOfRange, v, field, type_name);
      return 0;
    }
    case BindingPropertyType::Enum: {
      int32_t v = value.GetEnum().value;
      if (v >= 0 && static_cast<uint64_t>(v) <= max) return static_cast<uint64_t>(v);
      Fail(result, kOutOfRange, v, field, type_name);
      return 0;
    }
    case BindingPropertyType::String: {
      std::string_view text = value.GetString();
      unsigned long long v = 0;
      bool range_error = false;
      if (!ReadNumber(
              text, [](const char* s, char** end) { return std::strtoull(s, end, 0); }, v,
              range_error)) {
        Fail(result, kIncorrectFormat, text, field, type_name);
        return 0;
      }
      // strtoull negates "-1" into the top of the range instead of refusing it; the reader
      // skips leading blanks, so the sign is looked for after them too.
      size_t first = text.find_first_not_of(" \t\n\v\f\r");
      bool negative = first != std::string_view::npos && text[first] == '-';
      if (negative || range_error || v > max) {
        Fail(result, kOutOfRange, text, field, type_name);
        return 0;
      }
      return v;
    }
    default:
      Fail(result, kInvalidType, field, type_name, KindName(value));
      return 0;
  }
}

double AssignDouble(BindingResult& result, const BindingProperty& value, std::string_view field,
                    double min, double max, std::string_view type_name) {
  if (!result.IsOk()) return 0.0;
  switch (value.GetType()) {
    case BindingPropertyType::Empty:
      Fail(result, kRequired, field);
      return 0.0;
    case BindingPropertyType::Signed: {
      int64_t v = value.GetSigned();
      double d = static_cast<double>(v);
      if (d >= min && d <= max) return d;
      Fail(result, kOutOfRange, v, field, type_name);
      return 0.0;
    }
    case BindingPropertyType::Unsigned: {
      uint64_t v = value.GetUnsigned();
      double d = static_cast<double>(v);
      if (d >= min && d <= max) return d;
      Fail(result, kOutOfRange, v, field, type_name);
      return 0.0;
    }
    case BindingPropertyType::Enum: {
      int32_t v = value.GetEnum().value;
      double d = static_cast<double>(v);
      if (d >= min && d <= max) return d;
      Fail(result, kOutOfRange, v, field, type_name);
      return 0.0;
    }
    case BindingPropertyType::Float: {
      double v = value.GetFloat();
      if (v < min || v > max) {
        Fail(result, kOutOfRange, v, field, type_name);
        return 0.0;
      }
      return v;
    }
    case BindingPropertyType::String: {
      std::string_view text = value.GetString();
      double v = 0.0;
      bool range_error = false;
      if (!ReadNumber(
              text, [](const char* s, char** end) { return std::strtod(s, end); }, v,
              range_error)) {
        Fail(result, kIncorrectFormat, text, field, type_name);
        return 0.0;
      }
      if (range_error || v < min || v > max) {
        Fail(result, kOutOfRange, text, field, type_name);
        return 0.0;
      }
      return v;
    }
    default:
      Fail(result, kInvalidType, field, type_name, KindName(value));
      return 0.0;
  }
}

std::string_view AssignString(BindingResult& result, const BindingProperty& value,
                              std::string_view field, const BindingEnumNames* names) {
  if (!result.IsOk()) return {};
  switch (value.GetType()) {
    case BindingPropertyType::Empty:
      Fail(result, kRequired, field);
      return {};
    case BindingPropertyType::String:
      return value.GetString();
    case BindingPropertyType::Enum: {
      BindingEnumValue e = value.GetEnum();
      const char* name = names != nullptr ? names->EnumValueName(e) : nullptr;
      if (name != nullptr) return name;
      Fail(result, kNotEnumValue, e.value, field);
      return {};
    }
    default:
      Fail(result, kNotString, field);
      return {};
  }
}

std::vector<uint8_t> AssignBlob(BindingResult& result, const BindingProperty& value,
                                std::string_view field) {
  if (!result.IsOk()) return {};
  switch (value.GetType()) {
    case BindingPropertyType::Empty:
      Fail(result, kRequired, field);
      return {};
    case BindingPropertyType::Blob: {
      std::span<const uint8_t> bytes = value.GetBlob();
      return std::vector<uint8_t>(bytes.begin(), bytes.end());
    }
    case BindingPropertyType::String: {
      std::string_view text = value.GetString();
      for (char c : text) {
        bool valid = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                     c == '+' || c == '/' || c == '=';
        if (!valid) {
          Fail(result, kInvalidBase64, field);
          return {};
        }
      }
      return Base64Decode(text);
    }
    default:
      Fail(result, kNotBlob, field);
      return {};
  }
}

int32_t AssignEnum(BindingResult& result, const BindingProperty& value, std::string_view field,
                   const BindingTypeInfo& type) {
  if (!result.IsOk()) return 0;
  switch (value.GetType()) {
    case BindingPropertyType::Empty:
      Fail(result, kRequired, field);
      return 0;
    case BindingPropertyType::Signed: {
      int64_t v = value.GetSigned();
      if (const BindingEnumerator* e = type.FindEnumerator(v)) return e->value;
      Fail(result, kNotTypedEnumValue, v, type.name, field);
      return 0;
    }
    case BindingPropertyType::Unsigned: {
      uint64_t v = value.GetUnsigned();
      if (v <= static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) {
        if (const BindingEnumerator* e = type.FindEnumerator(static_cast<int64_t>(v))) {
          return e->value;
        }
      }
      Fail(result, kNotTypedEnumValue, v, type.name, field);
      return 0;
    }
    case BindingPropertyType::Enum: {
      // Another enumeration's value is accepted when the number matches.
      int32_t v = value.GetEnum().value;
      if (const BindingEnumerator* e = type.FindEnumerator(int64_t{v})) return e->value;
      Fail(result, kNotTypedEnumValue, v, type.name, field);
      return 0;
    }
    case BindingPropertyType::String: {
      std::string_view text = value.GetString();
      if (const BindingEnumerator* e = type.FindEnumerator(text)) return e->value;
      int64_t v = AssignSigned(result, value, field, std::numeric_limits<int32_t>::min(),
                               std::numeric_limits<int32_t>::max(), type.name);
      if (!result.IsOk()) return 0;
      if (const BindingEnumerator* e = type.FindEnumerator(v)) return e->value;
      Fail(result, kNotTypedEnumValue, text, type.name, field);
      return 0;
    }
    default:
      Fail(result, kEnumInvalidType, field, KindName(value));
      return 0;
  }
}

}  // namespace Varn

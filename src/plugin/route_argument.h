// RouteArgument<T> and RouteReturn<T>: how a bound value becomes a handler's native argument, and
// how a handler's answer becomes a value. Specialised per native type; records and enumerations
// go through the type registry.
#ifndef ZEK_PLUGIN_ROUTE_ARGUMENT_H_
#define ZEK_PLUGIN_ROUTE_ARGUMENT_H_

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "binding/binding_property.h"
#include "plugin/route_table.h"

namespace Varn {

namespace route_argument_internal {
// The scalar rules for handler arguments. Each does nothing once `result` has failed.
void AssignBool(BindingResult& result, const BindingProperty& value, std::string_view name,
                bool& out);
void AssignSigned(BindingResult& result, const BindingProperty& value, std::string_view name,
                  int64_t min, int64_t max, std::string_view type_name, int64_t& out);
void AssignUnsigned(BindingResult& result, const BindingProperty& value, std::string_view name,
                    uint64_t max, std::string_view type_name, uint64_t& out);
void AssignDouble(BindingResult& result, const BindingProperty& value, std::string_view name,
                  double min, double max, std::string_view type_name, double& out);
void AssignString(BindingResult& result, const BindingProperty& value, std::string_view name,
                  std::string& out);
void RequireCollection(BindingResult& result, const BindingProperty& value, std::string_view name);

template <class T>
constexpr std::string_view IntegerName() {
  if constexpr (std::is_signed_v<T>) {
    switch (sizeof(T)) {
      case 1:
        return "int8";
      case 2:
        return "int16";
      case 4:
        return "int32";
      default:
        return "int64";
    }
  } else {
    switch (sizeof(T)) {
      case 1:
        return "uint8";
      case 2:
        return "uint16";
      case 4:
        return "uint32";
      default:
        return "uint64";
    }
  }
}
}  // namespace route_argument_internal

template <class T, class = void>
struct RouteArgument;

template <>
struct RouteArgument<BindingProperty> {
  static constexpr ValueShape kShape = ValueShape::kOther;
  static constexpr std::string_view kTypeName = "object";
  static void Assign(BindingResult& result, const BindingProperty& value, std::string_view,
                     BindingProperty& out) {
    if (result.IsOk()) out = value;
  }
};

template <>
struct RouteArgument<std::string> {
  static constexpr ValueShape kShape = ValueShape::kString;
  static constexpr std::string_view kTypeName = "string";
  static void Assign(BindingResult& result, const BindingProperty& value, std::string_view name,
                     std::string& out) {
    route_argument_internal::AssignString(result, value, name, out);
  }
};

template <>
struct RouteArgument<bool> {
  static constexpr ValueShape kShape = ValueShape::kBool;
  static constexpr std::string_view kTypeName = "bool";
  static void Assign(BindingResult& result, const BindingProperty& value, std::string_view name,
                     bool& out) {
    route_argument_internal::AssignBool(result, value, name, out);
  }
};

template <class T>
struct RouteArgument<T, std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool>>> {
  static constexpr ValueShape kShape = ValueShape::kOther;
  static constexpr std::string_view kTypeName = route_argument_internal::IntegerName<T>();
  static void Assign(BindingResult& result, const BindingProperty& value, std::string_view name,
                     T& out) {
    constexpr std::string_view type_name = route_argument_internal::IntegerName<T>();
    if constexpr (std::is_signed_v<T>) {
      int64_t wide = out;
      route_argument_internal::AssignSigned(result, value, name, std::numeric_limits<T>::min(),
                                            std::numeric_limits<T>::max(), type_name, wide);
      if (result.IsOk()) out = static_cast<T>(wide);
    } else {
      uint64_t wide = out;
      route_argument_internal::AssignUnsigned(result, value, name, std::numeric_limits<T>::max(),
                                              type_name, wide);
      if (result.IsOk()) out = static_cast<T>(wide);
    }
  }
};

template <class T>
struct RouteArgument<T, std::enable_if_t<std::is_floating_point_v<T>>> {
  static constexpr ValueShape kShape = ValueShape::kOther;
  static constexpr std::string_view kTypeName = sizeof(T) == 4 ? "float" : "double";
  static void Assign(BindingResult& result, const BindingProperty& value, std::string_view name,
                     T& out) {
    double wide = out;
    route_argument_internal::AssignDouble(result, value, name, -std::numeric_limits<T>::max(),
                                          std::numeric_limits<T>::max(),
                                          sizeof(T) == 4 ? "float" : "double", wide);
    if (result.IsOk()) out = static_cast<T>(wide);
  }
};

template <class T>
struct RouteArgument<std::vector<T>> {
  static constexpr ValueShape kShape = ValueShape::kList;
  static constexpr std::string_view kTypeName = "vector";
  static constexpr std::string_view kElementTypeName = RouteArgument<T>::kTypeName;
  static void Assign(BindingResult& result, const BindingProperty& value, std::string_view name,
                     std::vector<T>& out) {
    route_argument_internal::RequireCollection(result, value, name);
    if (!result.IsOk()) return;
    out.clear();
    out.resize(value.Size());
    for (size_t i = 0; i < value.Size() && result.IsOk(); ++i) {
      const BindingProperty& element = value.At(i);
      if (!element.IsEmpty()) RouteArgument<T>::Assign(result, element, name, out[i]);
    }
  }
};

// The element type name of a list argument, "" for others.
template <class T, class = void>
struct RouteElementName {
  static constexpr std::string_view kName = {};
};
template <class T>
struct RouteElementName<T, std::void_t<decltype(RouteArgument<T>::kElementTypeName)>> {
  static constexpr std::string_view kName = RouteArgument<T>::kElementTypeName;
};

// A handler's answer as a value.
template <class T, class = void>
struct RouteReturn;

template <>
struct RouteReturn<BindingProperty> {
  static void ToValue(BindingResult&, BindingProperty&& value, BindingProperty& out) {
    out = std::move(value);
  }
};

template <>
struct RouteReturn<std::string> {
  static void ToValue(BindingResult&, std::string&& value, BindingProperty& out) {
    out.SetString(value);
  }
};

template <>
struct RouteReturn<const char*> {
  static void ToValue(BindingResult&, const char* value, BindingProperty& out) {
    out.SetString(value != nullptr ? value : "");
  }
};

template <>
struct RouteReturn<bool> {
  static void ToValue(BindingResult&, bool value, BindingProperty& out) { out.SetBool(value); }
};

template <class T>
struct RouteReturn<T, std::enable_if_t<std::is_arithmetic_v<T> && !std::is_same_v<T, bool>>> {
  static void ToValue(BindingResult&, T value, BindingProperty& out) {
    if constexpr (std::is_floating_point_v<T>) {
      out.SetFloat(value);
    } else if constexpr (std::is_signed_v<T>) {
      out.SetSigned(static_cast<int64_t>(value));
    } else {
      out.SetUnsigned(static_cast<uint64_t>(value));
    }
  }
};

}  // namespace Varn

#endif  // ZEK_PLUGIN_ROUTE_ARGUMENT_H_

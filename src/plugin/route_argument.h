// RouteArgument<T> and RouteReturn<T>: how a bound value becomes a handler's native argument, and
// how a handler's answer becomes a value. Scalars follow the registry's scalar rules; records and
// enumerations are converted through the plugin's type registry, where they must be registered.
#ifndef ZEK_PLUGIN_ROUTE_ARGUMENT_H_
#define ZEK_PLUGIN_ROUTE_ARGUMENT_H_

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "binding/binding_assign.h"
#include "binding/binding_convert.h"
#include "binding/binding_property.h"
#include "binding/binding_registry.h"
#include "binding/message_format.h"
#include "binding/native_type_traits.h"
#include "binding/static_type.h"
#include "plugin/route_table.h"

namespace Varn {

namespace route_argument_internal {

inline constexpr std::string_view kUnregistered =
    "Couldn't assign value to '%1' because the input is an unregistered structure or not a "
    "structure at all.";
inline constexpr std::string_view kNotCollection =
    "Couldn't assign value to '%1' of type vector because the input not a collection.";
inline constexpr std::string_view kRequired = "A value for '%1' is required.";

template <class T>
struct IsVector : std::false_type {};
template <class E, class A>
struct IsVector<std::vector<E, A>> : std::true_type {};

// Records: classes the registry describes, as opposed to the types handled one by one below.
template <class T>
inline constexpr bool kIsRecord = std::is_class_v<T> && !std::is_same_v<T, std::string> &&
                                  !std::is_same_v<T, BindingProperty> && !IsVector<T>::value;

template <class T>
const BindingTypeInfo* FindType(const BindingRegistry* registry = nullptr) {
  return registry != nullptr ? registry->FindType(StaticTypeOf<T>().HashCode()) : nullptr;
}

template <class T>
constexpr std::string_view IntegerName() {
  constexpr bool is_signed = std::is_signed_v<T>;
  if constexpr (sizeof(T) == 1) return is_signed ? "int8" : "uint8";
  if constexpr (sizeof(T) == 2) return is_signed ? "int16" : "uint16";
  if constexpr (sizeof(T) == 4) return is_signed ? "int32" : "uint32";
  return is_signed ? "int64" : "uint64";
}

}  // namespace route_argument_internal

// Each specialisation: kShape (what an empty text means) and
// Assign(result, value, name, out, registry), which does nothing once `result` has failed.
template <class T, class = void>
struct RouteArgument;

template <>
struct RouteArgument<BindingProperty> {
  static constexpr ValueShape kShape = ValueShape::kOther;
  static void Assign(BindingResult& result, const BindingProperty& value, std::string_view,
                     BindingProperty& out, const BindingRegistry* = nullptr) {
    if (result.IsOk()) out = value;
  }
};

template <>
struct RouteArgument<std::string> {
  static constexpr ValueShape kShape = ValueShape::kString;
  static void Assign(BindingResult& result, const BindingProperty& value, std::string_view name,
                     std::string& out, const BindingRegistry* registry = nullptr) {
    std::string_view text = AssignString(result, value, name, registry);
    if (result.IsOk()) out.assign(text);
  }
};

template <>
struct RouteArgument<bool> {
  static constexpr ValueShape kShape = ValueShape::kBool;
  static void Assign(BindingResult& result, const BindingProperty& value, std::string_view name,
                     bool& out, const BindingRegistry* = nullptr) {
    bool v = AssignBool(result, value, name);
    if (result.IsOk()) out = v;
  }
};

template <class T>
struct RouteArgument<T, std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool>>> {
  static constexpr ValueShape kShape = ValueShape::kOther;
  static void Assign(BindingResult& result, const BindingProperty& value, std::string_view name,
                     T& out, const BindingRegistry* = nullptr) {
    constexpr std::string_view type_name = route_argument_internal::IntegerName<T>();
    if constexpr (std::is_signed_v<T>) {
      int64_t v = AssignSigned(result, value, name, std::numeric_limits<T>::min(),
                               std::numeric_limits<T>::max(), type_name);
      if (result.IsOk()) out = static_cast<T>(v);
    } else {
      uint64_t v = AssignUnsigned(result, value, name, std::numeric_limits<T>::max(), type_name);
      if (result.IsOk()) out = static_cast<T>(v);
    }
  }
};

template <class T>
struct RouteArgument<T, std::enable_if_t<std::is_floating_point_v<T>>> {
  static constexpr ValueShape kShape = ValueShape::kOther;
  static void Assign(BindingResult& result, const BindingProperty& value, std::string_view name,
                     T& out, const BindingRegistry* = nullptr) {
    double v = AssignDouble(result, value, name, -std::numeric_limits<T>::max(),
                            std::numeric_limits<T>::max(), sizeof(T) == 4 ? "float" : "double");
    if (result.IsOk()) out = static_cast<T>(v);
  }
};

template <class T>
struct RouteArgument<T, std::enable_if_t<std::is_enum_v<T>>> {
  static constexpr ValueShape kShape = ValueShape::kOther;
  static void Assign(BindingResult& result, const BindingProperty& value, std::string_view name,
                     T& out, const BindingRegistry* registry = nullptr) {
    if (!result.IsOk()) return;
    const BindingTypeInfo* type = route_argument_internal::FindType<T>(registry);
    if (type == nullptr) {
      result.SetError(FormatMessage(route_argument_internal::kUnregistered, name));
      return;
    }
    int32_t v = AssignEnum(result, value, name, *type);
    if (result.IsOk()) out = static_cast<T>(v);
  }
};

template <class T>
struct RouteArgument<T, std::enable_if_t<route_argument_internal::kIsRecord<T>>> {
  static constexpr ValueShape kShape = ValueShape::kOther;
  static void Assign(BindingResult& result, const BindingProperty& value, std::string_view name,
                     T& out, const BindingRegistry* registry = nullptr) {
    FromBinding(result, value, name, route_argument_internal::FindType<T>(registry), &out);
  }
};

template <class T>
struct RouteArgument<std::vector<T>> {
  static constexpr ValueShape kShape = ValueShape::kList;
  static void Assign(BindingResult& result, const BindingProperty& value, std::string_view name,
                     std::vector<T>& out, const BindingRegistry* registry = nullptr) {
    if (!result.IsOk()) return;
    if (value.IsEmpty()) {
      result.SetError(FormatMessage(route_argument_internal::kRequired, name));
      return;
    }
    if (value.GetType() != BindingPropertyType::Collection) {
      result.SetError(FormatMessage(route_argument_internal::kNotCollection, name));
      return;
    }
    out.clear();
    out.resize(value.Size());
    for (size_t i = 0; i < value.Size() && result.IsOk(); ++i) {
      const BindingProperty& element = value.At(i);
      if (!element.IsEmpty()) RouteArgument<T>::Assign(result, element, name, out[i], registry);
    }
  }
};

// A handler's answer as a value: ToValue(result, answer, out, registry).
template <class T, class = void>
struct RouteReturn {
  static_assert(route_argument_internal::kIsRecord<T>, "no conversion for this answer type");
  static void ToValue(BindingResult& result, T&& value, BindingProperty& out,
                      const BindingRegistry* registry = nullptr) {
    BindingResult converted = ToBinding(&value, route_argument_internal::FindType<T>(registry));
    if (!converted.IsOk()) {
      result = std::move(converted);
      return;
    }
    out = std::move(converted.value);
  }
};

template <>
struct RouteReturn<BindingProperty> {
  static void ToValue(BindingResult&, BindingProperty&& value, BindingProperty& out,
                      const BindingRegistry* = nullptr) {
    out = std::move(value);
  }
};

template <>
struct RouteReturn<std::string> {
  static void ToValue(BindingResult&, std::string&& value, BindingProperty& out,
                      const BindingRegistry* = nullptr) {
    out.SetString(value);
  }
};

template <>
struct RouteReturn<const char*> {
  static void ToValue(BindingResult&, const char* value, BindingProperty& out,
                      const BindingRegistry* = nullptr) {
    out.SetString(value != nullptr ? value : "");
  }
};

template <>
struct RouteReturn<bool> {
  static void ToValue(BindingResult&, bool value, BindingProperty& out,
                      const BindingRegistry* = nullptr) {
    out.SetBool(value);
  }
};

template <class T>
struct RouteReturn<T, std::enable_if_t<std::is_arithmetic_v<T> && !std::is_same_v<T, bool>>> {
  static void ToValue(BindingResult&, T value, BindingProperty& out,
                      const BindingRegistry* = nullptr) {
    if constexpr (std::is_floating_point_v<T>) {
      out.SetFloat(value);
    } else if constexpr (std::is_signed_v<T>) {
      out.SetSigned(static_cast<int64_t>(value));
    } else {
      out.SetUnsigned(static_cast<uint64_t>(value));
    }
  }
};

template <class T>
struct RouteReturn<T, std::enable_if_t<std::is_enum_v<T>>> {
  static void ToValue(BindingResult&, T value, BindingProperty& out,
                      const BindingRegistry* = nullptr) {
    out.SetEnum({static_cast<int32_t>(value), StaticTypeOf<T>().HashCode()});
  }
};

// The type of an argument or answer for the API description.
template <class T>
RouteValueType RouteValueTypeOf() {
  if constexpr (std::is_void_v<T> || std::is_same_v<T, const char*>) {
    return {std::is_void_v<T> ? NativeKind::None : NativeKind::String, NativeKind::None, 0};
  } else {
    using Traits = NativeTypeTraits<T>;
    uint32_t hash = 0;
    constexpr NativeKind value_kind =
        Traits::kElementKind != NativeKind::None ? Traits::kElementKind : Traits::kKind;
    if constexpr (value_kind == NativeKind::Enum || value_kind == NativeKind::Struct) {
      hash = StaticTypeOf<typename Traits::Element>().HashCode();
    }
    return {Traits::kKind, Traits::kElementKind, hash};
  }
}

}  // namespace Varn

#endif  // ZEK_PLUGIN_ROUTE_ARGUMENT_H_

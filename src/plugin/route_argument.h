// RouteArgument<T> and RouteReturn<T>: how a bound value becomes a handler's native argument, and
// how a handler's answer becomes a value. Both convert by the rules every other value follows
// (binding_convert.h: scalars, base64 blobs, enumerations, records, vectors and maps), through a
// description of T made once; records and enumerations are looked up in the plugin's type
// registry, where they must be registered. Call arguments, typed answers and typed events use
// the same two.
#ifndef ZEK_PLUGIN_ROUTE_ARGUMENT_H_
#define ZEK_PLUGIN_ROUTE_ARGUMENT_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "binding/binding_convert.h"
#include "binding/binding_property.h"
#include "binding/binding_registry.h"
#include "binding/message_format.h"
#include "binding/native_type_traits.h"
#include "binding/static_type.h"
#include "plugin/route_table.h"

namespace Varn {

namespace route_argument_internal {

inline constexpr std::string_view kRequired = "A value for '%1' is required.";

// The kind that decides whether T needs a registered type: its own, or its elements'.
template <class T>
constexpr NativeKind ReferredKind() {
  using Traits = NativeTypeTraits<T>;
  return Traits::kElementKind != NativeKind::None ? Traits::kElementKind : Traits::kKind;
}

}  // namespace route_argument_internal

// Whether `field` (made by NativeValueInfo) can convert: false when it refers to an enumeration
// or record that the registry did not know.
inline bool IsConvertible(const BindingFieldInfo& field) {
  NativeKind referred = field.elementKind != NativeKind::None ? field.elementKind : field.kind;
  if (referred == NativeKind::Enum) {
    return field.typeInfo != nullptr && field.typeInfo->typeKind == BindingTypeKind::Enumeration;
  }
  if (referred == NativeKind::Struct) {
    return field.typeInfo != nullptr && field.typeInfo->typeKind == BindingTypeKind::Structure;
  }
  return true;
}

// What an empty text means for a parameter of native kind `kind`, and whether it takes list
// indexes.
constexpr ValueShape ShapeOfKind(NativeKind kind) {
  switch (kind) {
    case NativeKind::Bool:
      return ValueShape::kBool;
    case NativeKind::String:
    case NativeKind::Blob:  // base64 text: empty is no bytes
      return ValueShape::kString;
    case NativeKind::Vector:
      return ValueShape::kList;
    default:
      return ValueShape::kOther;
  }
}

template <class T>
struct RouteArgument {
  static constexpr ValueShape kShape = ShapeOfKind(NativeTypeTraits<T>::kKind);

  // `value` into `out` as `field` (NativeValueInfo<T>) describes; does nothing once `result`
  // has failed. `registry` names enumerators for string arguments and may be null.
  static void Assign(BindingResult& result, const BindingProperty& value, std::string_view name,
                     const BindingFieldInfo& field, const BindingRegistry* registry, T& out) {
    if (!result.IsOk()) return;
    if (value.IsEmpty() && field.kind != NativeKind::Object) {
      result.SetError(FormatMessage(route_argument_internal::kRequired, name));
      return;
    }
    AssignNative(result, value, name, field, registry, &out);
  }
  // The same, describing T on the spot.
  static void Assign(BindingResult& result, const BindingProperty& value, std::string_view name,
                     T& out, const BindingRegistry* registry = nullptr) {
    if (!result.IsOk()) return;
    Assign(result, value, name, NativeValueInfo<T>(registry), registry, out);
  }
};

// A handler's answer as a value: ToValue(result, answer, out, registry).
template <class T>
struct RouteReturn {
  static void ToValue(BindingResult& result, const T& value, const BindingFieldInfo& field,
                      BindingProperty& out) {
    NativeToBinding(result, field, &value, out);
  }
  static void ToValue(BindingResult& result, const T& value, BindingProperty& out,
                      const BindingRegistry* registry = nullptr) {
    ToValue(result, value, NativeValueInfo<T>(registry), out);
  }
};

// A value tree is its own answer: moved, not copied.
template <>
struct RouteReturn<BindingProperty> {
  static void ToValue(BindingResult& result, BindingProperty&& value, const BindingFieldInfo&,
                      BindingProperty& out) {
    if (result.IsOk()) out = std::move(value);
  }
  static void ToValue(BindingResult& result, BindingProperty&& value, BindingProperty& out,
                      const BindingRegistry* = nullptr) {
    if (result.IsOk()) out = std::move(value);
  }
};

// A text literal answers as the string it spells.
template <>
struct RouteReturn<const char*> {
  static void ToValue(BindingResult& result, const char* value, const BindingFieldInfo&,
                      BindingProperty& out) {
    if (result.IsOk()) out.SetString(value != nullptr ? value : "");
  }
  static void ToValue(BindingResult& result, const char* value, BindingProperty& out,
                      const BindingRegistry* = nullptr) {
    if (result.IsOk()) out.SetString(value != nullptr ? value : "");
  }
};

// The description through which a handler's argument or answer of type T converts.
template <class T>
BindingFieldInfo RouteValueInfo(const BindingRegistry* registry) {
  if constexpr (std::is_void_v<T> || std::is_same_v<T, const char*>) {
    return BindingFieldInfo{};
  } else {
    return NativeValueInfo<T>(registry);
  }
}

// The type of an argument or answer for the API description.
template <class T>
RouteValueType RouteValueTypeOf() {
  if constexpr (std::is_void_v<T> || std::is_same_v<T, const char*>) {
    return {std::is_void_v<T> ? NativeKind::None : NativeKind::String, NativeKind::None, 0};
  } else {
    using Traits = NativeTypeTraits<T>;
    uint32_t hash = 0;
    constexpr NativeKind value_kind = route_argument_internal::ReferredKind<T>();
    if constexpr (value_kind == NativeKind::Enum || value_kind == NativeKind::Struct) {
      hash = StaticTypeOf<typename Traits::Element>().HashCode();
    }
    return {Traits::kKind, Traits::kElementKind, hash};
  }
}

}  // namespace Varn

#endif  // ZEK_PLUGIN_ROUTE_ARGUMENT_H_

// Conversion between native records described by a BindingTypeInfo and BindingProperty trees.
// Both directions stop at the first failing field and report it through a BindingResult; a
// conversion that starts from a failed result does nothing. FromBinding writes only inside the
// given record; the fields before a failing one keep what they were given.
#ifndef ZEK_BINDING_BINDING_CONVERT_H_
#define ZEK_BINDING_BINDING_CONVERT_H_

#include <string_view>

#include "binding/binding_property.h"
#include "binding/binding_registry.h"
#include "binding/binding_type_info.h"
#include "binding/native_type_traits.h"
#include "binding/static_type.h"

namespace Varn {

// The record at `record` as a structure, one member per field in registration order.
// REQUIRES: `record` points to a native record of `type` (when `type` is not null).
[[nodiscard]] BindingResult ToBinding(const void* record, const BindingTypeInfo* type);

// Fills the record at `record` from the structure `value`. Members absent from `value` leave
// their fields as they are, unless the field is required. `field_name` names the whole value in
// messages.
void FromBinding(BindingResult& result, const BindingProperty& value, std::string_view field_name,
                 const BindingTypeInfo* type, void* record);

// Converts `value` into one native value at `address` stored as `field` describes (its
// converter, kind, element kind and types); `names` resolves Enum inputs for string fields.
// For binding a single value, such as a request argument, outside any record.
void AssignNative(BindingResult& result, const BindingProperty& value, std::string_view field_name,
                  const BindingFieldInfo& field, const BindingEnumNames* names, void* address);

// The reverse of AssignNative: the native value at `address`, stored as `field` describes, into
// `out`. On failure `out` may be partly filled; use the result's message instead.
void NativeToBinding(BindingResult& result, const BindingFieldInfo& field, const void* address,
                     BindingProperty& out);

// The description of a lone native value of C++ type T, as a record member of that type would
// have it; enumerations and records it refers to are looked up in `registry`, and stay
// unregistered (typeInfo null) when `registry` is null.
template <class T>
BindingFieldInfo NativeValueInfo(const BindingRegistry* registry) {
  using Traits = NativeTypeTraits<T>;
  BindingFieldInfo field;
  field.staticType = &StaticTypeOf<T>();
  field.kind = Traits::kKind;
  field.elementKind = Traits::kElementKind;
  field.container = Traits::Container();
  constexpr NativeKind value_kind =
      Traits::kElementKind != NativeKind::None ? Traits::kElementKind : Traits::kKind;
  if constexpr (value_kind == NativeKind::Enum || value_kind == NativeKind::Struct) {
    if (registry != nullptr) {
      field.typeInfo = registry->FindType(StaticTypeHash<typename Traits::Element>());
    }
  }
  return field;
}

template <class T>
BindingFieldInfo NativeValueInfo(const BindingRegistry& registry) {
  return NativeValueInfo<T>(&registry);
}

// `value` into the native `out` by the rules for its type: for handler arguments, call answers
// and other values that live outside a record.
template <class T>
void AssignNativeValue(BindingResult& result, const BindingProperty& value,
                       std::string_view field_name, const BindingRegistry& registry, T& out) {
  if (!result.IsOk()) return;
  AssignNative(result, value, field_name, NativeValueInfo<T>(registry), &registry, &out);
}

template <class T>
void NativeValueToBinding(BindingResult& result, const T& native, const BindingRegistry& registry,
                          BindingProperty& out) {
  if (!result.IsOk()) return;
  NativeToBinding(result, NativeValueInfo<T>(registry), &native, out);
}

}  // namespace Varn

#endif  // ZEK_BINDING_BINDING_CONVERT_H_

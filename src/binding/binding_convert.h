// Conversion between native records described by a BindingTypeInfo and BindingProperty trees.
// Both directions stop at the first failing field and report it through a BindingResult; a
// conversion that starts from a failed result does nothing. FromBinding writes only inside the
// given record; the fields before a failing one keep what they were given.
#ifndef ZEK_BINDING_BINDING_CONVERT_H_
#define ZEK_BINDING_BINDING_CONVERT_H_

#include <string_view>

#include "binding/binding_property.h"
#include "binding/binding_type_info.h"

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

}  // namespace Varn

#endif  // ZEK_BINDING_BINDING_CONVERT_H_

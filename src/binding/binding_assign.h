// The scalar conversion rules: how one BindingProperty value becomes a native bool, integer,
// floating-point number, string, blob or enumerator. Record conversion, the YAML reader and
// request argument binding all apply these, so every caller reports the same messages.
//
// Each rule does nothing and returns a zero value when `result` has already failed; on failure
// it sets the message on `result` (the first error wins) and returns a zero value. `field` names
// the value in messages. An Empty input always fails with "A value for '%1' is required.".
#ifndef ZEK_BINDING_BINDING_ASSIGN_H_
#define ZEK_BINDING_BINDING_ASSIGN_H_

#include <cstdint>
#include <string_view>
#include <vector>

#include "binding/binding_property.h"
#include "binding/binding_type_info.h"

namespace Varn {

// Bool; or the text "1", "true", "0", "false" (case-sensitive).
bool AssignBool(BindingResult& result, const BindingProperty& value, std::string_view field);

// Signed, Unsigned, Float (truncated toward zero), Enum, or text read as a C integer literal
// (base prefixes "0x" and "0"; the empty text is 0), within [min, max]. `type_name` names the
// target type in messages.
int64_t AssignSigned(BindingResult& result, const BindingProperty& value, std::string_view field,
                     int64_t min, int64_t max, std::string_view type_name);

// As AssignSigned with the range [0, max]; negative input, "-..." text included, is out of range.
uint64_t AssignUnsigned(BindingResult& result, const BindingProperty& value, std::string_view field,
                        uint64_t max, std::string_view type_name);

// Numbers and enums, or text read with strtod; must lie within [min, max]. NaN passes.
double AssignDouble(BindingResult& result, const BindingProperty& value, std::string_view field,
                    double min, double max, std::string_view type_name);

// String, or Enum as its enumerator name looked up in `names` (may be null). The view refers to
// the input's text or to `names`' storage.
std::string_view AssignString(BindingResult& result, const BindingProperty& value,
                              std::string_view field, const BindingEnumNames* names);

// Blob, or base64 text.
std::vector<uint8_t> AssignBlob(BindingResult& result, const BindingProperty& value,
                                std::string_view field);

// One of `type`'s enumerator values, given as a number, an Enum (of any enumeration), an
// enumerator name or a number in text.
int32_t AssignEnum(BindingResult& result, const BindingProperty& value, std::string_view field,
                   const BindingTypeInfo& type);

}  // namespace Varn

#endif  // ZEK_BINDING_BINDING_ASSIGN_H_

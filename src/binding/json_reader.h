// ParseJson: JSON text into a BindingProperty tree. Request and response bodies of JSON content
// arrive through it, so the input is untrusted: nesting is capped and every failure is a message.
#ifndef ZEK_BINDING_JSON_READER_H_
#define ZEK_BINDING_JSON_READER_H_

#include <cstddef>
#include <string>
#include <string_view>

#include "binding/binding_property.h"

namespace Varn {

// Containers nested deeper than this fail the parse instead of growing without bound.
inline constexpr size_t kJsonMaxDepth = 1000;

// Parses one JSON value. The text ends at its first NUL byte. A text that is empty or only
// whitespace gives an ok Empty value. null, true/false, non-negative integers, negative integers,
// other numbers, strings, arrays and objects become Empty, Bool, Unsigned, Signed, Float, String,
// Collection and Structure. A key that occurs twice addresses the same member, so later values
// overwrite scalars, merge into objects and append to arrays.
// A string or key whose decoded text is not well-formed UTF-8 fails: a raw ill-formed sequence
// as RapidJSON's invalid-encoding error, an escaped lone surrogate as its invalid-surrogate
// error, each at the offset of the sequence or the escape in `text`.
// Failures read "Error: <RapidJSON's English text> at offset <byte offset>." or
// "Maximum nesting depth of 1000 exceeded at offset <offset of the opening bracket>.".
// Each overload parses a private copy of the text, so the caller's text is only read.
[[nodiscard]] BindingResult ParseJson(const char* text);  // NUL-terminated; null reads as empty
[[nodiscard]] BindingResult ParseJson(const std::string& text);
[[nodiscard]] BindingResult ParseJson(std::string_view text);

}  // namespace Varn

#endif  // ZEK_BINDING_JSON_READER_H_

// Base64 with the standard alphabet ("A"-"Z", "a"-"z", "0"-"9", "+", "/") and "=" padding.
#ifndef ZEK_BINDING_BASE64_H_
#define ZEK_BINDING_BASE64_H_

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace Varn {

// Four characters per three bytes; a final group of one or two bytes is completed with "=".
std::string Base64Encode(std::span<const uint8_t> bytes);
std::string Base64Encode(std::string_view bytes);

// Decodes up to the first "=" or the first character outside the alphabet, whichever comes
// first; a final incomplete group yields its whole bytes (two characters give one byte, three
// give two, a lone character gives none). Never fails: text after the stop is ignored.
std::vector<uint8_t> Base64Decode(std::string_view text);

}  // namespace Varn

#endif  // ZEK_BINDING_BASE64_H_

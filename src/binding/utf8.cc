#include "binding/utf8.h"

namespace Varn {

// Well-formed sequences, after the Unicode standard's table of them: the second byte's range
// depends on the lead byte, so that overlong forms, surrogates and values past U+10FFFF are
// refused without decoding the code point.
//   00..7F
//   C2..DF 80..BF
//   E0     A0..BF 80..BF
//   E1..EC 80..BF 80..BF
//   ED     80..9F 80..BF
//   EE..EF 80..BF 80..BF
//   F0     90..BF 80..BF 80..BF
//   F1..F3 80..BF 80..BF 80..BF
//   F4     80..8F 80..BF 80..BF
size_t Utf8SequenceLength(std::string_view text, size_t at) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const size_t size = text.size();
  if (at >= size) return 0;
  const unsigned char lead = bytes[at];
  if (lead < 0x80) return 1;
  if (lead < 0xC2 || lead > 0xF4 || at + 1 >= size) return 0;
  const unsigned char second = bytes[at + 1];
  const unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
  const unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
  if (second < low || second > high) return 0;
  const size_t length = lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
  if (at + length > size) return 0;
  for (size_t k = 2; k < length; ++k) {
    if ((bytes[at + k] & 0xC0) != 0x80) return 0;
  }
  return length;
}

size_t FindInvalidUtf8From(std::string_view text, size_t from) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const size_t size = text.size();
  size_t i = from;
  while (i < size) {
    if (bytes[i] < 0x80) {
      ++i;
      // Back to whole words once the text turns ASCII again.
      while (i + 8 <= size) {
        uint64_t word;
        std::memcpy(&word, bytes + i, 8);
        if (word & 0x8080808080808080u) break;
        i += 8;
      }
      continue;
    }
    const size_t length = Utf8SequenceLength(text, i);
    if (length == 0) return i;
    i += length;
  }
  return size;
}

}  // namespace Varn

// UTF-8 validation for every text that enters a tree from outside or leaves it for a file. A
// string that is not well-formed UTF-8 (a stray or missing continuation byte, an overlong form,
// a surrogate code point U+D800-U+DFFF, or one above U+10FFFF) could be stored but never written
// back in a form the readers accept, so the readers refuse it and so does the writer.
#ifndef ZEK_BINDING_UTF8_H_
#define ZEK_BINDING_UTF8_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace Varn {

// The length of the well-formed sequence that starts at `at` (1 to 4), or 0 when the bytes there
// do not start one.
size_t Utf8SequenceLength(std::string_view text, size_t at);

// The offset of the first byte of the first ill-formed sequence in `text` at or after `from`,
// which must start a sequence; `text.size()` when the rest is well-formed.
size_t FindInvalidUtf8From(std::string_view text, size_t from);

// The offset of the first byte of the first ill-formed sequence, `text.size()` when `text` is
// well-formed. Texts are mostly ASCII, so eight bytes are checked at a time before any decoding.
inline size_t FindInvalidUtf8(std::string_view text) {
  const char* data = text.data();
  const size_t size = text.size();
  size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    uint64_t word;
    std::memcpy(&word, data + i, 8);
    if (word & 0x8080808080808080u) return FindInvalidUtf8From(text, i);
  }
  for (; i < size; ++i) {
    if (static_cast<unsigned char>(data[i]) >= 0x80) return FindInvalidUtf8From(text, i);
  }
  return size;
}

inline bool IsValidUtf8(std::string_view text) { return FindInvalidUtf8(text) == text.size(); }

}  // namespace Varn

#endif  // ZEK_BINDING_UTF8_H_

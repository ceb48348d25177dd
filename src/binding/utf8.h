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
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace Varn {

// The length of the well-formed sequence that starts at `at` (1 to 4), or 0 when the bytes there
// do not start one.
size_t Utf8SequenceLength(std::string_view text, size_t at);

// The offset of the first byte of the first ill-formed sequence in `text`; `text.size()` when
// `text` is well-formed.
size_t FindInvalidUtf8(std::string_view text);

// Whether the bytes from `from` on are well-formed; `from` must start a sequence.
bool IsValidUtf8From(std::string_view text, size_t from);

// The checks under IsValidUtf8From, for the tests that hold them to each other: a vector check
// where the processor has one (the widest for long texts), else the scalar automaton.
namespace Utf8Internal {
bool HasVectorCheck();
bool VectorCheck(std::string_view text);
bool ScalarCheck(std::string_view text);
// Every vector check this processor can run, each on texts of any length.
std::vector<bool (*)(std::string_view)> VectorChecks();
}  // namespace Utf8Internal

// True when `text` is well-formed. Texts are mostly ASCII and short (keys, names), so their bytes
// are first checked for a high bit in whole blocks, the last block overlapping the one before,
// and only a text that has one is decoded.
inline bool IsValidUtf8(std::string_view text) {
  const auto* data = reinterpret_cast<const unsigned char*>(text.data());
  const size_t size = text.size();
#if defined(__SSE2__)
  if (size >= 16) {
    auto high = [data](size_t at) {
      return _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at)));
    };
    size_t i = 0;
    for (; i + 16 <= size; i += 16) {
      if (high(i)) return IsValidUtf8From(text, i);
    }
    return i == size || !high(size - 16) || IsValidUtf8From(text, i);
  }
#endif
  uint64_t high;
  if (size >= 8) {
    uint64_t head, tail;
    std::memcpy(&head, data, 8);
    std::memcpy(&tail, data + size - 8, 8);
    high = (head | tail) & 0x8080808080808080u;
    // Without vector loads, longer texts go on eight bytes at a time.
    for (size_t i = 8; high == 0 && i + 8 < size; i += 8) {
      std::memcpy(&head, data + i, 8);
      high = head & 0x8080808080808080u;
    }
  } else if (size >= 4) {
    uint32_t head, tail;
    std::memcpy(&head, data, 4);
    std::memcpy(&tail, data + size - 4, 4);
    high = (head | tail) & 0x80808080u;
  } else if (size > 0) {
    high = (data[0] | data[size / 2] | data[size - 1]) & 0x80u;
  } else {
    return true;
  }
  return high == 0 || IsValidUtf8From(text, 0);
}

}  // namespace Varn

#endif  // ZEK_BINDING_UTF8_H_

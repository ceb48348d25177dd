// Byte-wise comparisons of short texts (member keys, interned strings), inline: most keys are a
// few words long, where a library call costs more than the comparison itself.
#ifndef ZEK_BINDING_TEXT_COMPARE_H_
#define ZEK_BINDING_TEXT_COMPARE_H_

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace Varn {

inline uint64_t LoadWord64(const char* p) {
  uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

inline uint32_t LoadWord32(const char* p) {
  uint32_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

// Whether two texts hold the same bytes.
inline bool SameText(std::string_view a, std::string_view b) {
  const size_t n = a.size();
  if (n != b.size()) return false;
  const char* x = a.data();
  const char* y = b.data();
  // Two overlapping loads cover any length from one word to two.
  if (n >= 8 && n <= 16) {
    return ((LoadWord64(x) ^ LoadWord64(y)) | (LoadWord64(x + n - 8) ^ LoadWord64(y + n - 8))) == 0;
  }
  if (n >= 4 && n < 8) {
    return ((LoadWord32(x) ^ LoadWord32(y)) | (LoadWord32(x + n - 4) ^ LoadWord32(y + n - 4))) == 0;
  }
  return n == 0 || std::memcmp(x, y, n) == 0;
}

// Byte order of two texts (as memcmp, then the shorter first): negative, zero or positive.
inline int CompareText(std::string_view a, std::string_view b) {
  // Loading a word little-endian and swapping it puts the first byte highest.
  static_assert(std::endian::native == std::endian::little);
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    const uint64_t x = LoadWord64(a.data() + i);
    const uint64_t y = LoadWord64(b.data() + i);
    if (x != y) return __builtin_bswap64(x) < __builtin_bswap64(y) ? -1 : 1;
  }
  for (; i < n; ++i) {
    const auto p = static_cast<uint8_t>(a[i]);
    const auto q = static_cast<uint8_t>(b[i]);
    if (p != q) return p < q ? -1 : 1;
  }
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

}  // namespace Varn

#endif  // ZEK_BINDING_TEXT_COMPARE_H_

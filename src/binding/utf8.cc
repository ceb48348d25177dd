#include "binding/utf8.h"

#include <array>
#include <cstring>
#include <vector>

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#include <immintrin.h>
#define ZEK_UTF8_SSSE3 1
#endif

namespace Varn {
namespace {

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
//
// The same table as an automaton whose transitions for one byte are packed into one 64-bit row:
// a state is the bit offset of its 6-bit field, and the field holds the next state. Reading a
// byte is then one load and one shift, with no branch, whatever the text holds.
enum State : uint64_t {
  kAccept = 0,
  kError = 6,
  kTail1 = 12,    // one continuation byte to go
  kTail2 = 18,    // two
  kTail3 = 24,    // three
  kAfterE0 = 30,  // A0..BF, then one more
  kAfterED = 36,  // 80..9F, then one more
  kAfterF0 = 42,  // 90..BF, then two more
  kAfterF4 = 48,  // 80..8F, then two more
};

constexpr State Next(State state, unsigned byte) {
  const bool continuation = byte >= 0x80 && byte <= 0xBF;
  switch (state) {
    case kAccept:
      if (byte < 0x80) return kAccept;
      if (byte >= 0xC2 && byte <= 0xDF) return kTail1;
      if (byte == 0xE0) return kAfterE0;
      if (byte == 0xED) return kAfterED;
      if (byte >= 0xE1 && byte <= 0xEF) return kTail2;
      if (byte == 0xF0) return kAfterF0;
      if (byte == 0xF4) return kAfterF4;
      if (byte >= 0xF1 && byte <= 0xF3) return kTail3;
      return kError;
    case kTail1:
      return continuation ? kAccept : kError;
    case kTail2:
      return continuation ? kTail1 : kError;
    case kTail3:
      return continuation ? kTail2 : kError;
    case kAfterE0:
      return byte >= 0xA0 && byte <= 0xBF ? kTail1 : kError;
    case kAfterED:
      return byte >= 0x80 && byte <= 0x9F ? kTail1 : kError;
    case kAfterF0:
      return byte >= 0x90 && byte <= 0xBF ? kTail2 : kError;
    case kAfterF4:
      return byte >= 0x80 && byte <= 0x8F ? kTail2 : kError;
    default:
      return kError;
  }
}

constexpr std::array<uint64_t, 256> MakeRows() {
  std::array<uint64_t, 256> rows{};
  constexpr State kStates[] = {kAccept,  kError,   kTail1,   kTail2,  kTail3,
                               kAfterE0, kAfterED, kAfterF0, kAfterF4};
  for (unsigned byte = 0; byte < 256; ++byte) {
    for (State state : kStates) rows[byte] |= static_cast<uint64_t>(Next(state, byte)) << state;
  }
  return rows;
}

constexpr std::array<uint64_t, 256> kRows = MakeRows();

}  // namespace

size_t Utf8SequenceLength(std::string_view text, size_t at) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  uint64_t state = kAccept;
  for (size_t i = at; i < text.size() && i < at + 4; ++i) {
    state = (kRows[bytes[i]] >> state) & 63;
    if (state == kAccept) return i - at + 1;
    if (state == kError) return 0;
  }
  return 0;
}

#if defined(ZEK_UTF8_SSSE3)
namespace {

// Sixteen bytes at a time, by three table lookups per byte (each indexed by one nibble of the
// byte or of the byte before it) whose bitwise AND is non-zero exactly where a pair of bytes
// cannot stand side by side; the third and fourth bytes of a sequence are then told apart from
// stray continuation bytes by the bytes two and three places back. Text of many scripts other
// than Latin is mostly multi-byte, where the automaton above pays a step per byte.
enum PairError : uint8_t {
  kTooShort = 1 << 0,      // a lead byte not followed by a continuation byte
  kTooLong = 1 << 1,       // a continuation byte after ASCII
  kOverlong3 = 1 << 2,     // E0 80..9F
  kTooLarge = 1 << 3,      // F4 90..BF, or F5..FF and a continuation byte
  kSurrogate = 1 << 4,     // ED A0..BF
  kOverlong2 = 1 << 5,     // C0..C1 and a continuation byte
  kTooLarge1000 = 1 << 6,  // F5..FF 80..8F
  kOverlong4 = 1 << 6,     // F0 80..8F
  kTwoContinuations = 1 << 7,
};
constexpr uint8_t kCarry = kTooShort | kTooLong | kTwoContinuations;

#define ZEK_BYTES16(a, b, c, d, e, f, g, h, i, j, k, l, m, n, o, p)                           \
  _mm_setr_epi8(                                                                              \
      static_cast<char>(a), static_cast<char>(b), static_cast<char>(c), static_cast<char>(d), \
      static_cast<char>(e), static_cast<char>(f), static_cast<char>(g), static_cast<char>(h), \
      static_cast<char>(i), static_cast<char>(j), static_cast<char>(k), static_cast<char>(l), \
      static_cast<char>(m), static_cast<char>(n), static_cast<char>(o), static_cast<char>(p))

struct PairTables {
  __m128i firstHigh;   // by the high nibble of the first byte of a pair
  __m128i firstLow;    // by its low nibble
  __m128i secondHigh;  // by the high nibble of the second byte
};

// Folds into `error` the faults of the sixteen bytes of `input`, `previous` holding the block
// before them.
[[gnu::target("ssse3"), gnu::always_inline]] inline void CheckBlock(const PairTables& tables,
                                                                    __m128i input, __m128i previous,
                                                                    __m128i& error) {
  const __m128i nibble = _mm_set1_epi8(0x0F);
  const __m128i before1 = _mm_alignr_epi8(input, previous, 15);
  const __m128i pairs = _mm_and_si128(
      _mm_and_si128(
          _mm_shuffle_epi8(tables.firstHigh, _mm_and_si128(_mm_srli_epi16(before1, 4), nibble)),
          _mm_shuffle_epi8(tables.firstLow, _mm_and_si128(before1, nibble))),
      _mm_shuffle_epi8(tables.secondHigh, _mm_and_si128(_mm_srli_epi16(input, 4), nibble)));
  // The high bit is set where two or three bytes back stands a lead byte of three or four.
  const __m128i third = _mm_subs_epu8(_mm_alignr_epi8(input, previous, 14),
                                      _mm_set1_epi8(static_cast<char>(0xE0 - 0x80)));
  const __m128i fourth = _mm_subs_epu8(_mm_alignr_epi8(input, previous, 13),
                                       _mm_set1_epi8(static_cast<char>(0xF0 - 0x80)));
  const __m128i later =
      _mm_and_si128(_mm_or_si128(third, fourth), _mm_set1_epi8(static_cast<char>(0x80)));
  error = _mm_or_si128(error, _mm_xor_si128(later, pairs));
}

inline PairTables MakePairTables() {
  constexpr uint8_t kLarge = kCarry | kTooLarge | kTooLarge1000;
  constexpr uint8_t kContinuation = kTooLong | kOverlong2 | kTwoContinuations;
  return PairTables{
      ZEK_BYTES16(kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong,
                  kTwoContinuations, kTwoContinuations, kTwoContinuations, kTwoContinuations,
                  kTooShort | kOverlong2, kTooShort, kTooShort | kOverlong3 | kSurrogate,
                  kTooShort | kTooLarge | kTooLarge1000 | kOverlong4),
      ZEK_BYTES16(kCarry | kOverlong3 | kOverlong2 | kOverlong4, kCarry | kOverlong2, kCarry,
                  kCarry, kCarry | kTooLarge, kLarge, kLarge, kLarge, kLarge, kLarge, kLarge,
                  kLarge, kLarge, kLarge | kSurrogate, kLarge, kLarge),
      ZEK_BYTES16(kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort,
                  kTooShort, kContinuation | kOverlong3 | kTooLarge1000 | kOverlong4,
                  kContinuation | kOverlong3 | kTooLarge, kContinuation | kSurrogate | kTooLarge,
                  kContinuation | kSurrogate | kTooLarge, kTooShort, kTooShort, kTooShort,
                  kTooShort),
  };
}

[[gnu::target("ssse3")]] bool IsValidUtf8Ssse3(const unsigned char* data, size_t size) {
  const PairTables tables = MakePairTables();
  __m128i previous = _mm_setzero_si128();
  __m128i error = _mm_setzero_si128();
  size_t i = 0;
  for (; i + 16 <= size; i += 16) {
    const __m128i input = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
    CheckBlock(tables, input, previous, error);
    previous = input;
  }
  // The rest, padded with zero bytes (a whole block of them when nothing is left), so that a
  // sequence cut short by the end of the text meets a byte that cannot continue it.
  alignas(16) unsigned char tail[16] = {};
  std::memcpy(tail, data + i, size - i);
  CheckBlock(tables, _mm_load_si128(reinterpret_cast<const __m128i*>(tail)), previous, error);
  return _mm_movemask_epi8(_mm_cmpeq_epi8(error, _mm_setzero_si128())) == 0xFFFF;
}

// The same check thirty-two bytes at a time. Each 128-bit lane looks its bytes up in its own
// copy of the tables; only the bytes before a block's first ones cross from lane to lane.
[[gnu::target("avx2")]] bool IsValidUtf8Avx2(const unsigned char* data, size_t size) {
  const PairTables narrow = MakePairTables();
  const __m256i first_high = _mm256_broadcastsi128_si256(narrow.firstHigh);
  const __m256i first_low = _mm256_broadcastsi128_si256(narrow.firstLow);
  const __m256i second_high = _mm256_broadcastsi128_si256(narrow.secondHigh);
  const __m256i nibble = _mm256_set1_epi8(0x0F);
  const __m256i third_from = _mm256_set1_epi8(static_cast<char>(0xE0 - 0x80));
  const __m256i fourth_from = _mm256_set1_epi8(static_cast<char>(0xF0 - 0x80));
  const __m256i high_bit = _mm256_set1_epi8(static_cast<char>(0x80));
  __m256i previous = _mm256_setzero_si256();
  __m256i error = _mm256_setzero_si256();
  auto check = [&](__m256i input) __attribute__((target("avx2"), always_inline)) {
    // The last sixteen bytes before this block's, then its own first sixteen.
    const __m256i shifted = _mm256_permute2x128_si256(previous, input, 0x21);
    const __m256i before1 = _mm256_alignr_epi8(input, shifted, 15);
    const __m256i pairs = _mm256_and_si256(
        _mm256_and_si256(_mm256_shuffle_epi8(
                             first_high, _mm256_and_si256(_mm256_srli_epi16(before1, 4), nibble)),
                         _mm256_shuffle_epi8(first_low, _mm256_and_si256(before1, nibble))),
        _mm256_shuffle_epi8(second_high, _mm256_and_si256(_mm256_srli_epi16(input, 4), nibble)));
    const __m256i third = _mm256_subs_epu8(_mm256_alignr_epi8(input, shifted, 14), third_from);
    const __m256i fourth = _mm256_subs_epu8(_mm256_alignr_epi8(input, shifted, 13), fourth_from);
    const __m256i later = _mm256_and_si256(_mm256_or_si256(third, fourth), high_bit);
    error = _mm256_or_si256(error, _mm256_xor_si256(later, pairs));
    previous = input;
  };
  size_t i = 0;
  for (; i + 32 <= size; i += 32) {
    check(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + i)));
  }
  alignas(32) unsigned char tail[32] = {};
  std::memcpy(tail, data + i, size - i);
  check(_mm256_load_si256(reinterpret_cast<const __m256i*>(tail)));
  return _mm256_testz_si256(error, error) != 0;
}

#undef ZEK_BYTES16

const bool kHasSsse3 = [] {
  __builtin_cpu_init();
  return __builtin_cpu_supports("ssse3") != 0;
}();
const bool kHasAvx2 = [] {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") != 0;
}();
// Below this the wide check's padded last block costs more than it saves.
constexpr size_t kAvx2From = 64;

}  // namespace
#endif

namespace Utf8Internal {

bool HasVectorCheck() {
#if defined(ZEK_UTF8_SSSE3)
  return kHasSsse3;
#else
  return false;
#endif
}

bool VectorCheck(std::string_view text) {
#if defined(ZEK_UTF8_SSSE3)
  const auto* data = reinterpret_cast<const unsigned char*>(text.data());
  if (kHasAvx2 && text.size() >= kAvx2From) return IsValidUtf8Avx2(data, text.size());
  if (kHasSsse3) return IsValidUtf8Ssse3(data, text.size());
#endif
  return ScalarCheck(text);
}

std::vector<bool (*)(std::string_view)> VectorChecks() {
  std::vector<bool (*)(std::string_view)> checks;
#if defined(ZEK_UTF8_SSSE3)
  if (kHasSsse3) {
    checks.push_back([](std::string_view text) {
      return IsValidUtf8Ssse3(reinterpret_cast<const unsigned char*>(text.data()), text.size());
    });
  }
  if (kHasAvx2) {
    checks.push_back([](std::string_view text) {
      return IsValidUtf8Avx2(reinterpret_cast<const unsigned char*>(text.data()), text.size());
    });
  }
#endif
  return checks;
}

bool ScalarCheck(std::string_view text) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const size_t size = text.size();
  uint64_t state = kAccept;
  // The shift takes the state's low six bits only, so the mask is left to the end, and the loop
  // goes four bytes at a time without a branch between them.
  size_t i = 0;
  for (; i + 4 <= size; i += 4) {
    state = kRows[bytes[i]] >> (state & 63);
    state = kRows[bytes[i + 1]] >> (state & 63);
    state = kRows[bytes[i + 2]] >> (state & 63);
    state = kRows[bytes[i + 3]] >> (state & 63);
  }
  for (; i < size; ++i) state = kRows[bytes[i]] >> (state & 63);
  return (state & 63) == kAccept;
}

}  // namespace Utf8Internal

bool IsValidUtf8From(std::string_view text, size_t from) {
  return Utf8Internal::VectorCheck(text.substr(from));
}

size_t FindInvalidUtf8(std::string_view text) {
  if (IsValidUtf8(text)) return text.size();
  size_t i = 0;
  while (i < text.size()) {
    const size_t length = Utf8SequenceLength(text, i);
    if (length == 0) return i;
    i += length;
  }
  return text.size();
}

}  // namespace Varn

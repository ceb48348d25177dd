#include "binding/utf8.h"

#include <array>

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

bool IsValidUtf8From(std::string_view text, size_t from) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const size_t size = text.size();
  uint64_t state = kAccept;
  // The shift takes the state's low six bits only, so the mask is left to the end, and the loop
  // goes four bytes at a time without a branch between them.
  size_t i = from;
  for (; i + 4 <= size; i += 4) {
    state = kRows[bytes[i]] >> (state & 63);
    state = kRows[bytes[i + 1]] >> (state & 63);
    state = kRows[bytes[i + 2]] >> (state & 63);
    state = kRows[bytes[i + 3]] >> (state & 63);
  }
  for (; i < size; ++i) state = kRows[bytes[i]] >> (state & 63);
  return (state & 63) == kAccept;
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

#include "binding/utf8.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace Varn {
namespace {

struct Case {
  std::string text;
  size_t invalid_at;  // npos: well-formed
};

TEST(Utf8Test, FindsTheFirstIllFormedSequence) {
  const size_t kValid = std::string::npos;
  const std::vector<Case> cases = {
      {"", kValid},
      {"plain", kValid},
      {"\xc2\x80 \xdf\xbf \xe0\xa0\x80 \xed\x9f\xbf \xee\x80\x80 \xef\xbf\xbf", kValid},
      {"\xf0\x90\x80\x80 \xf4\x8f\xbf\xbf", kValid},
      {"a\x80", 1},             // a continuation byte alone
      {"\xc0\xaf", 0},          // overlong "/"
      {"\xc1\xbf", 0},          // overlong
      {"\xe0\x9f\xbf", 0},      // overlong three bytes
      {"\xf0\x8f\xbf\xbf", 0},  // overlong four bytes
      {"ab\xed\xa0\x80", 2},    // U+D800
      {"\xed\xbf\xbf", 0},      // U+DFFF
      {"\xf4\x90\x80\x80", 0},  // U+110000
      {"\xf5\x80\x80\x80", 0},  // no such lead byte
      {"\xff", 0},
      {"\xe2\x82", 0},   // cut short
      {"\xe2\x82z", 0},  // interrupted
      {"\xc3\xa9\xf0\x9f\x98", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    const size_t expected = c.invalid_at == kValid ? c.text.size() : c.invalid_at;
    EXPECT_EQ(FindInvalidUtf8(c.text), expected);
    EXPECT_EQ(IsValidUtf8(c.text), c.invalid_at == kValid);
  }
}

// The ASCII check reads whole blocks, the last one overlapping: a bad byte must be found at
// every position of every length, and a good multi-byte character anywhere must pass.
TEST(Utf8Test, EveryPositionOfEveryLengthIsChecked) {
  for (size_t length = 1; length <= 48; ++length) {
    for (size_t at = 0; at < length; ++at) {
      SCOPED_TRACE(std::to_string(length) + " " + std::to_string(at));
      std::string text(length, 'x');
      text[at] = '\xff';
      EXPECT_FALSE(IsValidUtf8(text));
      EXPECT_EQ(FindInvalidUtf8(text), at);
      if (at + 2 <= length) {
        text[at] = '\xc3';
        text[at + 1] = '\xa9';
        EXPECT_TRUE(IsValidUtf8(text));
        text[at + 1] = 'x';
        EXPECT_EQ(FindInvalidUtf8(text), at);
      }
    }
    EXPECT_TRUE(IsValidUtf8(std::string(length, 'x')));
  }
}

// The vector check must agree with the automaton byte for byte. Every lead byte with every
// second byte and telling third and fourth bytes, standing at each place around a block edge,
// then random texts drawn mostly from the bytes that make or break sequences.
TEST(Utf8Test, VectorCheckAgreesWithTheAutomaton) {
  if (!Utf8Internal::HasVectorCheck()) GTEST_SKIP() << "no vector check on this processor";
  const unsigned char kTelling[] = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F,
                                    0xA0, 0xBF, 0xC0, 0xC2, 0xE0, 0xF0, 0xFF};
  size_t disagreements = 0;
  const auto checks = Utf8Internal::VectorChecks();
  auto compare = [&](const std::string& text) {
    const bool expected = Utf8Internal::ScalarCheck(text);
    for (size_t i = 0; i < checks.size(); ++i) {
      if (checks[i](text) != expected && ++disagreements <= 10) {
        ADD_FAILURE() << "check " << i << " disagrees on " << testing::PrintToString(text);
      }
    }
  };
  // Around the edges of sixteen- and thirty-two-byte blocks.
  for (size_t offset : {0, 13, 14, 15, 29, 30, 31, 45, 61, 62, 63}) {
    for (unsigned lead = 0x80; lead <= 0xFF; ++lead) {
      for (unsigned second = 0; second <= 0xFF; ++second) {
        std::string text(offset, 'a');
        text += static_cast<char>(lead);
        text += static_cast<char>(second);
        compare(text);
        if (lead < 0xE0) continue;
        for (unsigned char third : kTelling) {
          text.resize(offset + 2);
          text += static_cast<char>(third);
          compare(text);
          if (lead < 0xF0) continue;
          for (unsigned char fourth : kTelling) {
            text.resize(offset + 3);
            text += static_cast<char>(fourth);
            compare(text);
          }
        }
      }
    }
  }
  std::mt19937 random(7);
  const std::string pieces[] = {
      "a",        "\xc3\xa9", "\xe2\x82\xac", "\xf0\x9f\x98\x80", "\xed\x9f\xbf", "\x80", "\xc3",
      "\xe2\x82", "\xf4\x90", "\xff",         "\xed\xa0\x80"};
  for (int round = 0; round < 20000; ++round) {
    std::string text;
    const size_t count = random() % 60;
    // Mostly well-formed pieces, so that the one bad piece may stand anywhere.
    for (size_t i = 0; i < count; ++i)
      text += pieces[random() % 10 < 8 ? random() % 5 : random() % 11];
    compare(text);
  }
}

}  // namespace
}  // namespace Varn

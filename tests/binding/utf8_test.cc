#include "binding/utf8.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace Varn

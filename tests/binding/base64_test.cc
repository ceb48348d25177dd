#include "binding/base64.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace Varn {
namespace {

std::string AsText(const std::vector<uint8_t>& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

TEST(Base64Test, StandardVectorsRoundTrip) {
  struct Case {
    std::string bytes;
    std::string text;
  };
  const Case cases[] = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
      {std::string("\x00\xff\xfe\x3e\x3f", 5), "AP/+Pj8="},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Base64Encode(c.bytes), c.text);
    EXPECT_EQ(AsText(Base64Decode(c.text)), c.bytes);
  }
}

TEST(Base64Test, DecodeStopsAtPaddingOrForeignCharacter) {
  struct Case {
    const char* text;
    std::string bytes;
  };
  const Case cases[] = {
      {"Zm9vYmFy=Zm9v", "foobar"},  // text after "=" is ignored
      {"Zm9v YmFy", "foo"},         // a blank is outside the alphabet
      {"Zm9vYmFy\n", "foobar"},
      {"Zm9vYg", "foob"},    // two characters without padding give one byte
      {"Zm9vYmE", "fooba"},  // three give two
      {"Zm9vY", "foo"},      // a lone character gives nothing
      {"=Zm9v", ""},
      {"Zm-_", "f"},  // the URL-safe alphabet is not accepted
      {"\xc3\xa9Zg==", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(AsText(Base64Decode(c.text)), c.bytes);
  }
}

TEST(Base64Test, AllByteValuesRoundTrip) {
  std::vector<uint8_t> bytes;
  for (int i = 0; i < 256; ++i) bytes.push_back(static_cast<uint8_t>(i));
  for (size_t n = 250; n <= bytes.size(); ++n) {
    SCOPED_TRACE(n);
    std::span<const uint8_t> input(bytes.data(), n);
    std::string text = Base64Encode(input);
    EXPECT_EQ(text.size(), (n + 2) / 3 * 4);
    EXPECT_EQ(Base64Decode(text), std::vector<uint8_t>(input.begin(), input.end()));
  }
}

}  // namespace
}  // namespace Varn

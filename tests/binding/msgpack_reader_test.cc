#include "binding/msgpack_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "binding/json_reader.h"
#include "tests/binding/value_text.h"

namespace Varn {
namespace {

// "92 01 c0" or "92-01-c0" to bytes.
std::vector<uint8_t> Bytes(std::string_view hex) {
  std::vector<uint8_t> bytes;
  std::string digits;
  for (char c : hex) {
    if (std::isxdigit(static_cast<unsigned char>(c))) digits += c;
    if (digits.size() == 2) {
      bytes.push_back(static_cast<uint8_t>(std::strtoul(digits.c_str(), nullptr, 16)));
      digits.clear();
    }
  }
  return bytes;
}

struct Decoded {
  BindingResult result;
  size_t consumed = 0;
  bool complete = false;
};

Decoded Decode(const std::vector<uint8_t>& bytes) {
  Decoded d;
  d.result = ParseMsgPack(bytes.data(), bytes.size(), &d.consumed, &d.complete);
  return d;
}

struct ValueCase {
  std::string hex;
  std::string expected;  // ValueText of the result
  size_t consumed;
  bool complete;
};

TEST(MsgPackReaderTest, DecodesEveryFormat) {
  const ValueCase cases[] = {
      {"05", "s5", 1, true},
      {"7f", "s127", 1, true},
      {"ff", "s-1", 1, true},
      {"e0", "s-32", 1, true},
      {"cc 05", "u5", 2, true},
      {"cd 01 00", "u256", 3, true},
      {"ce ff ff ff ff", "u4294967295", 5, true},
      {"cf ff ff ff ff ff ff ff ff", "u18446744073709551615", 9, true},
      {"d0 80", "s-128", 2, true},
      {"d1 ff 7f", "s-129", 3, true},
      {"d2 80 00 00 00", "s-2147483648", 5, true},
      {"d3 80 00 00 00 00 00 00 00", "s-9223372036854775808", 9, true},
      {"d3 00 00 00 01 00 00 00 00", "s4294967296", 9, true},
      {"ca 3f c0 00 00", "f1.5", 5, true},
      {"cb 3f f8 00 00 00 00 00 00", "f1.5", 9, true},
      {"c0", "null", 1, true},
      {"c2", "false", 1, true},
      {"c3", "true", 1, true},
      {"a0", "\"\"", 1, true},
      {"a3 61 62 63", "\"abc\"", 4, true},
      {"d9 03 61 62 63", "\"abc\"", 5, true},
      {"da 00 03 61 62 63", "\"abc\"", 6, true},
      {"db 00 00 00 03 61 62 63", "\"abc\"", 8, true},
      {"c4 00", "b''", 2, true},
      {"c4 02 01 ff", "b'01ff'", 4, true},
      {"c5 00 01 07", "b'07'", 4, true},
      {"c6 00 00 00 01 07", "b'07'", 6, true},
      {"90", "[]", 1, true},
      {"80", "{}", 1, true},
      {"92 01 c0", "[s1,null]", 3, true},
      {"dc 00 02 01 02", "[s1,s2]", 5, true},
      {"dd 00 00 00 01 03", "[s3]", 6, true},
      {"81 a1 61 01", "{a:s1}", 4, true},
      {"de 00 01 a1 61 01", "{a:s1}", 6, true},
      {"df 00 00 00 01 a1 61 01", "{a:s1}", 8, true},
      {"82 a1 62 01 a1 61 02", "{a:s2,b:s1}", 7, true},
      {"81 d9 01 6b 90", "{k:[]}", 5, true},
      {"91 91 91 90", "[[[[]]]]", 4, true},
      {"92 81 a1 61 90 c3", "[{a:[]},true]", 6, true},
      // Bytes after the first value are not read.
      {"01 02", "s1", 1, true},
      {"91 01 c0", "[s1]", 2, true},
      // Input that ends inside a container keeps what was read.
      {"", "null", 0, false},
      {"93 01", "[s1]", 2, false},
      {"82 a1 61 01", "{a:s1}", 4, false},
      {"81 a1 61", "{}", 3, false},
      {"92 91", "[[]]", 2, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.hex);
    const Decoded d = Decode(Bytes(c.hex));
    ASSERT_TRUE(d.result.IsOk()) << d.result.ErrorMessage();
    EXPECT_EQ(ValueText(d.result.value), c.expected);
    EXPECT_EQ(d.consumed, c.consumed);
    EXPECT_EQ(d.complete, c.complete);
  }
}

// Items are placed by index and by key, so a repeated key overwrites scalars, merges maps and
// writes a nested array over the earlier one element by element.
TEST(MsgPackReaderTest, RepeatedKeysAddressOneMember) {
  const ValueCase cases[] = {
      {"82 a1 61 01 a1 61 02", "{a:s2}", 7, true},
      {"82 a1 61 81 a1 78 01 a1 61 81 a1 79 02", "{a:{x:s1,y:s2}}", 13, true},
      {"82 a1 61 92 01 02 a1 61 91 03", "{a:[s3,s2]}", 10, true},
      {"82 a1 61 91 01 a1 61 93 04 05 06", "{a:[s4,s5,s6]}", 11, true},
      {"82 a1 61 01 a1 61 c0", "{a:null}", 7, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.hex);
    const Decoded d = Decode(Bytes(c.hex));
    ASSERT_TRUE(d.result.IsOk()) << d.result.ErrorMessage();
    EXPECT_EQ(ValueText(d.result.value), c.expected);
    EXPECT_EQ(d.consumed, c.consumed);
  }
}

struct ErrorCase {
  std::string hex;
  std::string message;
  size_t consumed;
};

TEST(MsgPackReaderTest, ReportsFaultWithPosition) {
  const ErrorCase cases[] = {
      {"81 01 02", "Invalid MessagePack data at position 2. Map keys must be strings.", 2},
      {"82 a1 61 01 c0", "Invalid MessagePack data at position 5. Map keys must be strings.", 5},
      {"c7", "Invalid MessagePack data at position 1.", 1},
      {"c1", "Invalid MessagePack data at position 1.", 1},
      {"c8 00 01", "Invalid MessagePack data at position 1.", 1},
      {"c9", "Invalid MessagePack data at position 1.", 1},
      {"d4 01 10", "Invalid MessagePack data at position 1.", 1},
      {"d8 01", "Invalid MessagePack data at position 1.", 1},
      {"92 01 d6 ff 00 00 00 00", "Invalid MessagePack data at position 3.", 3},
      {"cc", "Invalid MessagePack data. 8-bit integer value at position 1 is truncated.", 1},
      {"d0", "Invalid MessagePack data. 8-bit integer value at position 1 is truncated.", 1},
      {"cd 01", "Invalid MessagePack data. 16-bit integer value at position 1 is truncated.", 1},
      {"d1 01", "Invalid MessagePack data. 16-bit integer value at position 1 is truncated.", 1},
      {"ce 00 00 00", "Invalid MessagePack data. 32-bit integer value at position 1 is truncated.",
       1},
      {"ca 00", "Invalid MessagePack data. 32-bit integer value at position 1 is truncated.", 1},
      {"cf 00", "Invalid MessagePack data. 64-bit integer value at position 1 is truncated.", 1},
      {"d3", "Invalid MessagePack data. 64-bit integer value at position 1 is truncated.", 1},
      {"cb 00 00 00 00 00 00 00",
       "Invalid MessagePack data. 64-bit integer value at position 1 is truncated.", 1},
      {"92 01 cd 01", "Invalid MessagePack data. 16-bit integer value at position 3 is truncated.",
       3},
      // Lengths and counts are checked like integers of their width.
      {"d9", "Invalid MessagePack data. 8-bit integer value at position 1 is truncated.", 1},
      {"c5 00", "Invalid MessagePack data. 16-bit integer value at position 1 is truncated.", 1},
      {"dd 00 00", "Invalid MessagePack data. 32-bit integer value at position 1 is truncated.", 1},
      {"df", "Invalid MessagePack data. 32-bit integer value at position 1 is truncated.", 1},
      {"81 da 00", "Invalid MessagePack data. 16-bit integer value at position 2 is truncated.", 2},
      {"a5 61 62", "Invalid MessagePack data. String of size 5 at position 1 is truncated.", 1},
      {"d9 05 61", "Invalid MessagePack data. String of size 5 at position 2 is truncated.", 2},
      {"81 a3 61", "Invalid MessagePack data. String of size 3 at position 2 is truncated.", 2},
      {"c4 03 01", "Invalid MessagePack data. Raw bytes of size 3 at position 2 are truncated.", 2},
      // Strings and keys are UTF-8; the position is the first ill-formed byte's.
      {"a2 61 ff", "Invalid MessagePack data. Invalid UTF-8 in string at position 2.", 2},
      {"92 01 d9 04 61 ed a0 80",
       "Invalid MessagePack data. Invalid UTF-8 in string at position 5.", 5},
      {"81 a4 f4 90 80 80 01", "Invalid MessagePack data. Invalid UTF-8 in string at position 2.",
       2},
      {"82 d9 02 c3 a9 c0 a1 c3 c0",
       "Invalid MessagePack data. Invalid UTF-8 in string at position 7.", 7},
      {"da 00 02 c0 af", "Invalid MessagePack data. Invalid UTF-8 in string at position 3.", 3},
      // A key after keys out of order, which has the members kept as a search tree.
      {"83 a1 62 01 a1 61 02 a2 ff ff 03",
       "Invalid MessagePack data. Invalid UTF-8 in string at position 8.", 8},
      // Announced lengths far beyond the input fail without allocating for them.
      {"db ff ff ff ff",
       "Invalid MessagePack data. String of size 4294967295 at position 5 is truncated.", 5},
      {"c6 ff ff ff ff",
       "Invalid MessagePack data. Raw bytes of size 4294967295 at position 5 are truncated.", 5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.hex);
    const Decoded d = Decode(Bytes(c.hex));
    EXPECT_FALSE(d.result.IsOk());
    EXPECT_EQ(d.result.ErrorMessage(), c.message);
    EXPECT_EQ(d.consumed, c.consumed);
    EXPECT_FALSE(d.complete);
    // The partial tree is dropped: only the error member remains.
    EXPECT_EQ(d.result.value.Size(), 1u);
  }
}

// Blobs are bytes, not text: anything goes.
TEST(MsgPackReaderTest, BlobsAreNotCheckedAsText) {
  const Decoded d = Decode(Bytes("c4 03 ff ed a0"));
  ASSERT_TRUE(d.result.IsOk()) << d.result.ErrorMessage();
  EXPECT_EQ(d.result.value.GetType(), BindingPropertyType::Blob);
  EXPECT_EQ(d.result.value.Size(), 3u);
}

// A container may announce billions of items in five bytes; nothing is reserved for them, so
// decoding ends at the input's end with what was there.
TEST(MsgPackReaderTest, AnnouncedCountsAllocateNothing) {
  const ValueCase cases[] = {
      {"dd ff ff ff ff", "[]", 5, false},
      {"df ff ff ff ff", "{}", 5, false},
      {"dd ff ff ff ff 01 dd ff ff ff ff", "[s1,[]]", 11, false},
      // Each count fits what is left, but not both together.
      {"dc 00 02 dc 00 02 01", "[[s1]]", 7, false},
      {"dc 00 02 dc 00 02 01 02", "[[s1,s2]]", 8, false},
      {"92 92 01 02 03", "[[s1,s2],s3]", 5, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.hex);
    const Decoded d = Decode(Bytes(c.hex));
    ASSERT_TRUE(d.result.IsOk()) << d.result.ErrorMessage();
    EXPECT_EQ(ValueText(d.result.value), c.expected);
    EXPECT_EQ(d.consumed, c.consumed);
    EXPECT_EQ(d.complete, c.complete);
  }
}

TEST(MsgPackReaderTest, NestingDepthIsCapped) {
  const std::string kMessage =
      "Invalid MessagePack data. Maximum nesting depth of 1000 exceeded at position 1001.";
  struct Case {
    std::vector<uint8_t> bytes;
    std::string message;  // empty when the input decodes
  };
  std::vector<uint8_t> deepest(1000, 0x91);
  deepest.push_back(0x07);
  std::vector<uint8_t> maps;
  for (int i = 0; i < 1001; ++i) {
    maps.push_back(0x81);
    maps.push_back(0xa0);  // empty key
  }
  Case cases[] = {
      {deepest, ""},
      {std::vector<uint8_t>(1001, 0x91), kMessage},
      {std::vector<uint8_t>(1000000, 0x91), kMessage},
      {maps, "Invalid MessagePack data. Maximum nesting depth of 1000 exceeded at position 2001."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes.size());
    size_t consumed = 0;
    const BindingResult result = ParseMsgPack(c.bytes.data(), c.bytes.size(), &consumed);
    EXPECT_EQ(result.ErrorMessage(), c.message);
    EXPECT_EQ(result.IsOk(), c.message.empty());
  }
  const BindingResult ok = ParseMsgPack(deepest.data(), deepest.size());
  const BindingProperty* value = &ok.value;
  for (int level = 0; level < 1000; ++level) value = &value->At(0);
  EXPECT_EQ(value->GetSigned(), 7);
}

// Cutting a document anywhere either ends inside a container (ok, incomplete) or names the
// truncated payload; nothing is read past the cut.
TEST(MsgPackReaderTest, EveryPrefixEndsCleanly) {
  const std::vector<uint8_t> whole = Bytes(
      "83 a1 61 93 01 cd 01 00 cb 3f f8 00 00 00 00 00 00 a1 62 c4 03 01 02 03"
      " d9 03 6b 65 79 82 a3 61 62 63 d2 ff ff ff fe a1 7a c0");
  const Decoded full = Decode(whole);
  ASSERT_TRUE(full.result.IsOk()) << full.result.ErrorMessage();
  ASSERT_TRUE(full.complete);
  for (size_t cut = 0; cut < whole.size(); ++cut) {
    SCOPED_TRACE(cut);
    // A copy of exactly `cut` bytes, so that a read past the cut is a sanitizer error.
    const std::vector<uint8_t> prefix(whole.begin(), whole.begin() + static_cast<long>(cut));
    const Decoded d = Decode(prefix);
    EXPECT_FALSE(d.complete);
    EXPECT_LE(d.consumed, cut);
    if (d.result.IsOk()) {
      EXPECT_EQ(d.consumed, cut);
    } else {
      EXPECT_NE(d.result.ErrorMessage().find(" truncated."), std::string::npos)
          << d.result.ErrorMessage();
    }
  }
}

// Compares a decoded value with the suite's expected one. Numbers compare by value; the kind of a
// number is checked by the caller from the encoding.
bool SameValue(const BindingProperty& decoded, const BindingProperty& expected) {
  const auto is_number = [](BindingPropertyType t) {
    return t == BindingPropertyType::Signed || t == BindingPropertyType::Unsigned ||
           t == BindingPropertyType::Float;
  };
  const auto as_double = [](const BindingProperty& v) {
    switch (v.GetType()) {
      case BindingPropertyType::Signed:
        return static_cast<double>(v.GetSigned());
      case BindingPropertyType::Unsigned:
        return static_cast<double>(v.GetUnsigned());
      default:
        return v.GetFloat();
    }
  };
  if (is_number(decoded.GetType()) && is_number(expected.GetType())) {
    if (decoded.GetType() != BindingPropertyType::Float &&
        expected.GetType() != BindingPropertyType::Float) {
      const auto negative = [](const BindingProperty& v) {
        return v.GetType() == BindingPropertyType::Signed && v.GetSigned() < 0;
      };
      return negative(decoded) == negative(expected) &&
             decoded.GetInteger() == expected.GetInteger();
    }
    return as_double(decoded) == as_double(expected);
  }
  if (decoded.GetType() != expected.GetType()) return false;
  switch (decoded.GetType()) {
    case BindingPropertyType::Collection:
      if (decoded.Size() != expected.Size()) return false;
      for (size_t i = 0; i < decoded.Size(); ++i) {
        if (!SameValue(decoded.At(i), expected.At(i))) return false;
      }
      return true;
    case BindingPropertyType::Structure: {
      if (decoded.Size() != expected.Size()) return false;
      bool same = true;
      expected.ForEachMember([&](std::string_view key, const BindingProperty& member) {
        const BindingProperty* found = decoded.TryFind(key);
        same = same && found != nullptr && SameValue(*found, member);
      });
      return same;
    }
    default:
      return decoded == expected;
  }
}

BindingPropertyType NumberKindOf(uint8_t format_byte) {
  if (format_byte >= 0xcc && format_byte <= 0xcf) return BindingPropertyType::Unsigned;
  if (format_byte == 0xca || format_byte == 0xcb) return BindingPropertyType::Float;
  return BindingPropertyType::Signed;
}

// The public MessagePack suite: each group lists values with every encoding of them.
TEST(MsgPackReaderTest, ConformanceSuite) {
  std::ifstream file("../shared/testdata/msgpack-test-suite/msgpack-test-suite.json",
                     std::ios::binary);
  ASSERT_TRUE(file.good());
  std::stringstream text;
  text << file.rdbuf();
  const BindingResult suite = ParseJson(text.str());
  ASSERT_TRUE(suite.IsOk()) << suite.ErrorMessage();
  size_t encodings = 0;
  suite.value.ForEachMember([&](std::string_view group, const BindingProperty& cases) {
    for (size_t i = 0; i < cases.Size(); ++i) {
      const BindingProperty& c = cases.At(i);
      c.ForEachMember([&](std::string_view kind, const BindingProperty& expected_json) {
        if (kind == "msgpack" || kind == "bignum") return;
        BindingProperty expected = expected_json;
        if (kind == "binary") {
          const std::vector<uint8_t> bytes = Bytes(expected_json.GetString());
          expected.SetBlob(bytes);
        }
        const BindingProperty& hexes = c.Find("msgpack");
        for (size_t k = 0; k < hexes.Size(); ++k) {
          const std::string hex(hexes.At(k).GetString());
          SCOPED_TRACE(std::string(group) + " " + hex);
          ++encodings;
          const std::vector<uint8_t> bytes = Bytes(hex);
          const Decoded d = Decode(bytes);
          if (kind == "timestamp" || kind == "ext") {
            EXPECT_EQ(d.result.ErrorMessage(), "Invalid MessagePack data at position 1.");
            continue;
          }
          ASSERT_TRUE(d.result.IsOk()) << d.result.ErrorMessage();
          EXPECT_EQ(d.consumed, bytes.size());
          EXPECT_TRUE(d.complete);
          EXPECT_TRUE(SameValue(d.result.value, expected)) << ValueText(d.result.value);
          if (kind == "number") {
            EXPECT_EQ(d.result.value.GetType(), NumberKindOf(bytes[0]));
          }
        }
      });
    }
  });
  EXPECT_GT(encodings, 0u);
}

}  // namespace
}  // namespace Varn

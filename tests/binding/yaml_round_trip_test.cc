// Every tree the writer accepts must load back: a preferences file that saves but does not load
// is replaced by the next write, so a value lost this way is lost for good.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "binding/base64.h"
#include "binding/json_reader.h"
#include "binding/msgpack_reader.h"
#include "binding/yaml_reader.h"
#include "binding/yaml_writer.h"
#include "tests/binding/temp_folder.h"
#include "tests/binding/yaml_test_values.h"

namespace Varn {
namespace {

using namespace yaml_test;

void AppendUtf8(std::string& out, uint32_t code_point) {
  if (code_point < 0x80) {
    out += static_cast<char>(code_point);
  } else if (code_point < 0x800) {
    out += static_cast<char>(0xC0 | (code_point >> 6));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  } else if (code_point < 0x10000) {
    out += static_cast<char>(0xE0 | (code_point >> 12));
    out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code_point >> 18));
    out += static_cast<char>(0x80 | ((code_point >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  }
}

// Random trees of every kind, with the texts and numbers that YAML's plain scalars, quoting and
// escapes make hard: words and numbers as strings, control characters, line separators, a byte
// order mark, NUL, the largest code point; doubles of every magnitude, infinities and NaN.
class TreeMaker {
 public:
  explicit TreeMaker(uint64_t seed) : random_(seed) {}

  BindingProperty Make(int depth) {
    BindingProperty v;
    Fill(v, depth);
    return v;
  }

  std::string Text() {
    static const char* const kWords[] = {
        "",      "null", "~",    "true", "no",  "Yes", "1",    "-7",  "1e3", "0x1F", ".5",
        "-0",    "inf",  "-inf", ".nan", "nan", "- a", "a: b", "#c",  "&x",  "*x",   "!!str",
        "'q'",   "\"",   "\\",   " ",    "\t",  "a ",  " a",   "---", "...", "[1]",  "{a: 1}",
        "%YAML", "@",    "`",    "|",    ">",   "?",   ",",    "a\n", "\r\n"};
    static const uint32_t kCodePoints[] = {
        0x0,    0x1,    0x7,    0x8,    0x9,    0xA,    0xD,     0x1B,    0x7F,
        0x80,   0x85,   0x9F,   0xA0,   0xE9,   0x7FF,  0x800,   0x2028,  0x2029,
        0xD7FF, 0xE000, 0xFEFF, 0xFFFD, 0xFFFE, 0xFFFF, 0x10000, 0x1F600, 0x10FFFF};
    std::string text;
    const int pieces = static_cast<int>(random_() % 5);
    for (int i = 0; i < pieces; ++i) {
      switch (random_() % 3) {
        case 0:
          text += kWords[random_() % std::size(kWords)];
          break;
        case 1:
          AppendUtf8(text, kCodePoints[random_() % std::size(kCodePoints)]);
          break;
        default:
          AppendUtf8(text, static_cast<uint32_t>(0x20 + random_() % 0x5F));
          break;
      }
    }
    return text;
  }

  double Double() {
    switch (random_() % 6) {
      case 0:
        return std::bit_cast<double>(random_());  // any bit pattern, NaNs and infinities too
      case 1:
        return static_cast<double>(static_cast<int64_t>(random_() % 20000000) - 10000000) / 1e6;
      case 2:
        return std::ldexp(static_cast<double>(random_() % 100000),
                          -static_cast<int>(random_() % 80));
      case 3: {
        static const double kSpecial[] = {0.0,
                                          -0.0,
                                          1e-7,
                                          0.123456789,
                                          9007199254740993.0,
                                          9223372036854775808.0,
                                          -9223372036854775808.0,
                                          18446744073709551616.0,
                                          std::numeric_limits<double>::max(),
                                          std::numeric_limits<double>::lowest(),
                                          std::numeric_limits<double>::min(),
                                          std::numeric_limits<double>::denorm_min(),
                                          std::numeric_limits<double>::infinity(),
                                          -std::numeric_limits<double>::infinity(),
                                          std::numeric_limits<double>::quiet_NaN()};
        return kSpecial[random_() % std::size(kSpecial)];
      }
      default:
        return static_cast<double>(random_() % 1000) / 8.0 - 60.0;
    }
  }

 private:
  void Fill(BindingProperty& v, int depth) {
    const unsigned kinds = depth > 0 ? 10 : 8;
    switch (random_() % kinds) {
      case 0:
        v.Reset();
        break;
      case 1:
        v.SetBool(random_() % 2 == 0);
        break;
      case 2: {
        static const int64_t kEdges[] = {INT64_MIN, -1, 0, 1, INT64_MAX};
        v.SetSigned(random_() % 4 == 0 ? kEdges[random_() % 5] : static_cast<int64_t>(random_()));
        break;
      }
      case 3:
        v.SetUnsigned(random_() % 4 == 0 ? UINT64_MAX : random_() >> (random_() % 64));
        break;
      case 4:
        v.SetFloat(Double());
        break;
      case 5:
        v.SetString(Text());
        break;
      case 6: {
        std::vector<uint8_t> bytes(random_() % 9);
        for (uint8_t& b : bytes) b = static_cast<uint8_t>(random_());
        v.SetBlob(std::move(bytes));
        break;
      }
      case 7:
        v.SetEnum({static_cast<int32_t>(random_()), 0x1234u});
        break;
      case 8: {
        v.MakeCollection();
        const int count = Width();
        for (int i = 0; i < count; ++i) Fill(v.Append(), depth - 1);
        break;
      }
      default: {
        v.MakeStructure();
        const int count = Width();
        for (int i = 0; i < count; ++i) Fill(v.Field(Text()), depth - 1);
        break;
      }
    }
  }

  // Mostly small, now and then wide.
  int Width() { return random_() % 16 == 0 ? static_cast<int>(random_() % 300) : random_() % 5; }

  std::mt19937_64 random_;
};

// What a value reads back as from YAML: a Signed at or above zero and a whole float read as
// integers, an infinity as its text, a blob as its base64 text, an enum (no names) as its number.
BindingProperty AsRead(const BindingProperty& v) {
  BindingProperty out;
  switch (v.GetType()) {
    case BindingPropertyType::Signed:
      if (v.GetSigned() >= 0) {
        out.SetUnsigned(static_cast<uint64_t>(v.GetSigned()));
      } else {
        out = v;
      }
      return out;
    case BindingPropertyType::Enum:
      out.SetSigned(v.GetEnum().value);
      return AsRead(out);
    case BindingPropertyType::Blob:
      out.SetString(Base64Encode(v.GetBlob()));
      return out;
    case BindingPropertyType::Float: {
      const double d = v.GetFloat();
      constexpr double kTwo63 = 9223372036854775808.0;
      constexpr double kTwo64 = 18446744073709551616.0;
      if (std::isinf(d)) {
        out.SetString(d > 0 ? "inf" : "-inf");
      } else if (std::isnan(d) || d != std::trunc(d) || d < -kTwo63 || d >= kTwo64) {
        out = v;
      } else if (d < 0) {
        out.SetSigned(static_cast<int64_t>(d));
      } else {
        out.SetUnsigned(static_cast<uint64_t>(d));
      }
      return out;
    }
    case BindingPropertyType::Collection:
      out.MakeCollection();
      for (size_t i = 0; i < v.Size(); ++i) out.Append() = AsRead(v.At(i));
      return out;
    case BindingPropertyType::Structure:
      out.MakeStructure();
      v.ForEachMember([&](std::string_view key, const BindingProperty& member) {
        out.Field(key) = AsRead(member);
      });
      return out;
    default:
      return v;
  }
}

// Equality in which a NaN equals a NaN and a float keeps its sign, so -0.0 and 0.0 differ.
bool SameValue(const BindingProperty& a, const BindingProperty& b) {
  if (a.GetType() != b.GetType()) return false;
  switch (a.GetType()) {
    case BindingPropertyType::Float: {
      const double x = a.GetFloat();
      const double y = b.GetFloat();
      return (std::isnan(x) && std::isnan(y)) || (x == y && std::signbit(x) == std::signbit(y));
    }
    case BindingPropertyType::Collection:
      if (a.Size() != b.Size()) return false;
      for (size_t i = 0; i < a.Size(); ++i) {
        if (!SameValue(a.At(i), b.At(i))) return false;
      }
      return true;
    case BindingPropertyType::Structure: {
      if (a.Size() != b.Size()) return false;
      bool same = true;
      a.ForEachMember([&](std::string_view key, const BindingProperty& member) {
        same = same && SameValue(member, b.Find(key));
      });
      return same;
    }
    default:
      return a == b;
  }
}

TEST(YamlRoundTripTest, RandomTreesLoadBackEqual) {
  for (uint64_t seed = 0; seed < 400; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    TreeMaker maker(seed);
    const BindingProperty tree = maker.Make(seed % 10 == 0 ? 40 : 6);
    const std::string line_break = seed % 2 ? "\r\n" : "\n";
    const std::string first = WriteYaml(tree, nullptr, line_break);
    ASSERT_EQ(first.empty(), tree.IsEmpty());
    const BindingResult back = ParseYaml(first);
    ASSERT_TRUE(back.IsOk()) << back.ErrorMessage() << "\n" << first;
    ASSERT_TRUE(SameValue(back.value, AsRead(tree))) << first;
    // What was read writes the same text again and again.
    const std::string second = WriteYaml(back.value, nullptr, line_break);
    const BindingResult again = ParseYaml(second);
    ASSERT_TRUE(again.IsOk()) << again.ErrorMessage();
    ASSERT_TRUE(SameValue(again.value, back.value)) << second;
    ASSERT_EQ(WriteYaml(again.value, nullptr, line_break), second);
  }
}

std::string Nested(size_t depth, const std::string& open, const std::string& close,
                   const std::string& inner) {
  std::string text;
  for (size_t i = 0; i < depth; ++i) text += open;
  text += inner;
  for (size_t i = 0; i < depth; ++i) text += close;
  return text;
}

// A request body may be as deep as its reader allows; the file nests its data two levels lower,
// below the category's name and its record, and must still load.
TEST(YamlRoundTripTest, TheDeepestBodySavesAndLoadsBack) {
  const std::string json = Nested(kJsonMaxDepth, "{\"k\": ", "}", "\"leaf\"");
  std::string msgpack;
  for (size_t i = 0; i < kMsgPackMaxDepth; ++i) msgpack += "\x81\xa1k";
  msgpack += "\xa4leaf";
  const std::string yaml = Nested(kMaxYamlDepth, "[", "]", "leaf");
  struct Body {
    const char* name;
    BindingResult parsed;
  };
  Body bodies[] = {{"json", ParseJson(json)},
                   {"msgpack", ParseMsgPack(msgpack.data(), msgpack.size())},
                   {"yaml", ParseYaml(yaml)}};
  TempFolder folder;
  for (Body& body : bodies) {
    SCOPED_TRACE(body.name);
    ASSERT_TRUE(body.parsed.IsOk()) << body.parsed.ErrorMessage();
    BindingProperty file;
    file.Field("category").Field("schemaVersion").SetSigned(1);
    file.Field("category").Field("data") = body.parsed.value;
    const std::string path = folder.File("prefs.yaml");
    ASSERT_TRUE(SaveYamlFile(path, file, nullptr, "\r\n").IsOk());
    const BindingResult loaded = LoadYamlFile(path);
    ASSERT_TRUE(loaded.IsOk()) << loaded.ErrorMessage();
    EXPECT_TRUE(SameValue(loaded.value, AsRead(file)));
  }
  // Bodies stay capped where they were; only files have the room for the layout.
  EXPECT_EQ(ParseYaml(Nested(kMaxYamlDepth + 1, "[", "]", "")).ErrorMessage(),
            "Maximum nesting depth of 1000 exceeded. At line: 1 col: 1001");
  const std::string too_deep = folder.File("too_deep.yaml");
  TempFolder::Write(too_deep, Nested(kMaxYamlFileDepth + 1, "[", "]", ""));
  EXPECT_EQ(LoadYamlFile(too_deep).ErrorMessage(),
            "Maximum nesting depth of 1002 exceeded. At line: 1 col: 1003");
}

}  // namespace
}  // namespace Varn

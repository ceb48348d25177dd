#include "cell_json/cell_json_renderer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "binding/binding_property.h"
#include "binding/json_reader.h"

namespace Varn {
namespace {

PluginCell Cell(uint32_t kind) {
  PluginCell cell{};
  cell.kind = kind;
  return cell;
}
PluginCell Float(double v) {
  PluginCell cell = Cell(PLUGIN_CELL_FLOAT);
  cell.payload.f64 = v;
  return cell;
}
PluginCell Text(std::string_view text, uint32_t kind = PLUGIN_CELL_STRING_REF) {
  PluginCell cell = Cell(kind);
  cell.payload.string.text = text.data();
  cell.payload.string.length = text.size();
  return cell;
}
PluginCell Blob(const std::vector<uint8_t>& bytes, uint32_t kind = PLUGIN_CELL_BLOB_REF) {
  PluginCell cell = Cell(kind);
  cell.payload.blob.bytes = bytes.data();
  cell.payload.blob.length = bytes.size();
  return cell;
}

struct Case {
  std::string name;
  PluginCell cell;
  std::string json;
};

TEST(CellJsonRendererTest, RendersScalars) {
  PluginCell yes = Cell(PLUGIN_CELL_BOOL);
  yes.payload.boolean = 1;
  PluginCell no = Cell(PLUGIN_CELL_BOOL);
  PluginCell min = Cell(PLUGIN_CELL_SIGNED);
  min.payload.i64 = std::numeric_limits<int64_t>::min();
  PluginCell max = Cell(PLUGIN_CELL_UNSIGNED);
  max.payload.u64 = std::numeric_limits<uint64_t>::max();
  const std::vector<uint8_t> none;
  const std::vector<uint8_t> one = {0xff};
  const std::vector<uint8_t> two = {0x00, 0x10};
  const std::vector<uint8_t> three = {'a', 'b', 'c'};
  PluginCell null_text = Cell(PLUGIN_CELL_STRING);
  PluginCell null_bytes = Cell(PLUGIN_CELL_BLOB);
  null_bytes.payload.blob.length = 5;
  const Case cases[] = {
      {"empty", Cell(PLUGIN_CELL_EMPTY), "null"},
      {"unknown kind", Cell(11), "null"},
      {"true", yes, "true"},
      {"false", no, "false"},
      {"signed", min, "-9223372036854775808"},
      {"unsigned", max, "18446744073709551615"},
      {"integral float keeps a fraction", Float(5.0), "5.0"},
      {"negative zero", Float(-0.0), "-0.0"},
      {"shortest digits", Float(0.1), "0.1"},
      {"shortest of a sum", Float(0.1 + 0.2), "0.30000000000000004"},
      {"large float", Float(1e300), "1e+300"},
      {"tiny float", Float(5e-324), "5e-324"},
      {"float above 2^64", Float(18446744073709551616.0), "18446744073709551616.0"},
      {"NaN", Float(std::nan("")), "null"},
      {"infinity", Float(-std::numeric_limits<double>::infinity()), "null"},
      {"string", Text("abc", PLUGIN_CELL_STRING), "\"abc\""},
      {"escapes", Text("q\"b\\n\n\t\x01/"), "\"q\\\"b\\\\n\\n\\t\\u0001/\""},
      {"embedded NUL", Text(std::string_view("a\0b", 3)), "\"a\\u0000b\""},
      {"UTF-8 passes", Text("\xc3\xa9\xf0\x9f\x98\x80"), "\"\xc3\xa9\xf0\x9f\x98\x80\""},
      {"invalid UTF-8 replaced", Text("a\xff\xc3"), "\"a\xef\xbf\xbd\xef\xbf\xbd\""},
      {"surrogate replaced", Text("\xed\xa0\x80"), "\"\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\""},
      {"null text", null_text, "\"\""},
      {"blob none", Blob(none), "\"\""},
      {"blob one", Blob(one, PLUGIN_CELL_BLOB), "\"/w==\""},
      {"blob two", Blob(two), "\"ABA=\""},
      {"blob three", Blob(three), "\"YWJj\""},
      {"null bytes", null_bytes, "\"\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(RenderCellJson(c.cell), c.json);
  }
}

TEST(CellJsonRendererTest, RendersContainersInOrder) {
  PluginCell inner[] = {Float(1.5), Cell(PLUGIN_CELL_EMPTY)};
  PluginCell list = Cell(PLUGIN_CELL_COLLECTION);
  list.payload.collection.cells = inner;
  list.payload.collection.count = 2;
  PluginStructEntry entries[] = {
      {"b", list, 0},
      {"a\"", Text("x"), 0},
      {nullptr, Cell(PLUGIN_CELL_COLLECTION), 0},
      {"o", Cell(PLUGIN_CELL_STRUCTURE), 0},
  };
  PluginCell object = Cell(PLUGIN_CELL_STRUCTURE);
  object.payload.structure.entries = entries;
  object.payload.structure.count = 4;
  EXPECT_EQ(RenderCellJson(object), R"({"b":[1.5,null],"a\"":"x","":[],"o":{}})");
  EXPECT_EQ(RenderCellJson(object, CellJsonStyle::kPretty),
            "{\n  \"b\": [\n    1.5,\n    null\n  ],\n  \"a\\\"\": \"x\",\n  \"\": [],\n"
            "  \"o\": {}\n}");
  // A count without an array renders as empty rather than reading through null.
  PluginCell dangling = Cell(PLUGIN_CELL_COLLECTION);
  dangling.payload.collection.count = 3;
  EXPECT_EQ(RenderCellJson(dangling), "[]");
}

TEST(CellJsonRendererTest, DeepNestingNeedsNoStack) {
  constexpr size_t kDepth = 200000;
  std::vector<PluginCell> chain(kDepth, Cell(PLUGIN_CELL_COLLECTION));
  for (size_t i = 0; i + 1 < kDepth; ++i) {
    chain[i].payload.collection.cells = &chain[i + 1];
    chain[i].payload.collection.count = 1;
  }
  const std::string json = RenderCellJson(chain[0]);
  EXPECT_EQ(json, std::string(kDepth, '[') + std::string(kDepth, ']'));
}

// JSON read into a value, handed over in the boundary form and rendered, reads back to the same
// value: numbers keep their kind and every double its bits.
TEST(CellJsonRendererTest, RoundTripsThroughTheBoundaryForm) {
  const std::string cases[] = {
      "null",
      "[true,false,0,-1,18446744073709551615,-9223372036854775808]",
      "[0.1,1e-7,123456789.125,1.7976931348623157e+308,2.2250738585072014e-308,-0.0,5.0]",
      R"({"a":{"b":[{"c":"\u00e9\"\\"}]},"z":""})",
  };
  for (const auto& text : cases) {
    SCOPED_TRACE(text);
    const BindingResult parsed = ParseJson(text);
    ASSERT_TRUE(parsed.IsOk()) << parsed.ErrorMessage();
    PluginCell cell{};
    BindingProperty::ToBoundary(parsed.value, nullptr, cell);
    const std::string rendered = RenderCellJson(cell);
    BindingProperty::ReleaseBoundary(cell);
    const BindingResult again = ParseJson(rendered);
    ASSERT_TRUE(again.IsOk()) << rendered;
    EXPECT_TRUE(again.value == parsed.value) << rendered;
    if (parsed.value.GetType() == BindingPropertyType::Collection) {
      for (size_t i = 0; i < parsed.value.Size(); ++i) {
        EXPECT_EQ(again.value.At(i).GetType(), parsed.value.At(i).GetType()) << i;
        EXPECT_EQ(std::signbit(again.value.At(i).GetFloat()),
                  std::signbit(parsed.value.At(i).GetFloat()));
      }
    }
  }
  // A blob renders as base64 and an enum as its number.
  BindingProperty value;
  value.Field("blob").SetBlob(std::vector<uint8_t>{1, 2, 3, 4});
  value.Field("enum").SetEnum({7, 0x1234});
  PluginCell cell{};
  BindingProperty::ToBoundary(value, nullptr, cell);
  EXPECT_EQ(RenderCellJson(cell), R"({"blob":"AQIDBA==","enum":7})");
  BindingProperty::ReleaseBoundary(cell);
}

}  // namespace
}  // namespace Varn

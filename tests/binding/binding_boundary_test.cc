#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "binding/binding_property.h"
#include "binding/heap.h"

namespace Varn {
namespace {

using Type = BindingPropertyType;

class FixedNames : public BindingEnumNames {
 public:
  const char* EnumValueName(BindingEnumValue value) const override {
    return value == BindingEnumValue{1, 42} ? "Update" : nullptr;
  }
};

PluginCell Cell(uint32_t kind) {
  PluginCell cell;
  std::memset(&cell, 0, sizeof cell);
  cell.kind = kind;
  return cell;
}

PluginBoundaryResult EmptyResult() {
  PluginBoundaryResult result;
  std::memset(&result, 0, sizeof result);
  return result;
}

// Reads a field of a packed record by value: gtest's macros would bind a reference to it.
template <class T>
T Copy(T value) {
  return value;
}

uint64_t LiveBytes() {
  const HeapStatistics stats = ReadHeapStatistics();
  return stats.totalBytesAllocated - stats.totalBytesFreed;
}

BindingProperty Sample() {
  BindingProperty v;
  v.Field("bool").SetBool(true);
  v.Field("signed").SetSigned(-3);
  v.Field("unsigned").SetUnsigned(~uint64_t{0});
  v.Field("float").SetFloat(1.5);
  v.Field("string").SetString("text");
  v.Field("empty string").SetString("");
  v.Field("blob").SetBlob(std::vector<uint8_t>{0, 255, 0});
  v.Field("empty blob").SetBlob(std::vector<uint8_t>{});
  v.Field("list").At(2).Field("deep").SetSigned(5);
  v.Field("empty list").MakeCollection();
  v.Field("empty structure").MakeStructure();
  v.Field("nothing");
  return v;
}

TEST(BindingBoundaryTest, EveryKindRoundTrips) {
  const uint64_t live_before = LiveBytes();
  const BindingProperty original = Sample();
  PluginCell cell;
  BindingProperty::ToBoundary(original, nullptr, cell);
  ASSERT_EQ(Copy(cell.kind), PLUGIN_CELL_STRUCTURE);
  EXPECT_GT(LiveBytes(), live_before);

  PluginBoundaryResult result = EmptyResult();
  BindingProperty back;
  EXPECT_TRUE(BindingProperty::FromBoundary(result, back, cell, "root"));
  EXPECT_EQ(Copy(result.failed), 0);
  EXPECT_EQ(Copy(result.errorText), nullptr);
  EXPECT_TRUE(back == original);

  BindingProperty::ReleaseBoundary(cell);
  EXPECT_EQ(Copy(cell.kind), PLUGIN_CELL_EMPTY);
  EXPECT_EQ(LiveBytes(), live_before);
}

TEST(BindingBoundaryTest, CellsCarryTheLayoutOfTheirKind) {
  BindingProperty v = Sample();
  PluginCell cell;
  BindingProperty::ToBoundary(v, nullptr, cell);
  const PluginStructEntry* entries = cell.payload.structure.entries;
  ASSERT_EQ(Copy(cell.payload.structure.count), v.Size());
  std::vector<std::string> keys;
  for (size_t i = 0; i < cell.payload.structure.count; ++i) {
    keys.emplace_back(Copy(entries[i].key));
    EXPECT_EQ(Copy(entries[i].keyOwned), 1);
  }
  EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
  auto entry = [&](std::string_view key) -> const PluginCell& {
    for (size_t i = 0; i < cell.payload.structure.count; ++i) {
      if (key == Copy(entries[i].key)) return entries[i].value;
    }
    ADD_FAILURE() << key;
    return cell;
  };
  EXPECT_EQ(Copy(entry("bool").kind), PLUGIN_CELL_BOOL);
  EXPECT_EQ(Copy(entry("signed").payload.i64), -3);
  EXPECT_EQ(Copy(entry("unsigned").kind), PLUGIN_CELL_UNSIGNED);
  EXPECT_EQ(Copy(entry("float").payload.f64), 1.5);
  EXPECT_EQ(Copy(entry("string").kind), PLUGIN_CELL_STRING);
  EXPECT_STREQ(Copy(entry("string").payload.string.text), "text");
  EXPECT_EQ(Copy(entry("string").payload.string.length), 4u);
  EXPECT_STREQ(Copy(entry("empty string").payload.string.text), "");
  EXPECT_EQ(Copy(entry("blob").kind), PLUGIN_CELL_BLOB);
  EXPECT_EQ(Copy(entry("blob").payload.blob.length), 3u);
  EXPECT_EQ(Copy(entry("blob").payload.blob.bytes[1]), 255);
  EXPECT_EQ(Copy(entry("list").kind), PLUGIN_CELL_COLLECTION);
  EXPECT_EQ(Copy(entry("list").payload.collection.count), 3u);
  EXPECT_EQ(Copy(entry("list").payload.collection.cells[0].kind), PLUGIN_CELL_EMPTY);
  EXPECT_EQ(Copy(entry("nothing").kind), PLUGIN_CELL_EMPTY);
  BindingProperty::ReleaseBoundary(cell);
}

TEST(BindingBoundaryTest, EnumsBecomeTheirNameWhenKnown) {
  const FixedNames names;
  struct Case {
    const char* name;
    BindingEnumValue value;
    const BindingEnumNames* names;
    uint32_t kind;
    const char* text;
    int64_t number;
  };
  const Case cases[] = {
      {"named", {1, 42}, &names, PLUGIN_CELL_STRING, "Update", 0},
      {"unknown enumerator", {-2, 42}, &names, PLUGIN_CELL_SIGNED, nullptr, -2},
      {"no registry", {1, 42}, nullptr, PLUGIN_CELL_SIGNED, nullptr, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BindingProperty v;
    v.SetEnum(c.value);
    PluginCell cell;
    BindingProperty::ToBoundary(v, c.names, cell);
    EXPECT_EQ(Copy(cell.kind), c.kind);
    if (c.text != nullptr) {
      EXPECT_STREQ(Copy(cell.payload.string.text), c.text);
    } else {
      EXPECT_EQ(Copy(cell.payload.i64), c.number);
    }
    BindingProperty::ReleaseBoundary(cell);
  }
}

TEST(BindingBoundaryTest, ReferenceCellsAreReadAndNeverFreed) {
  const char text[] = "borrowed";
  const uint8_t bytes[] = {4, 5};
  PluginCell cells[2] = {Cell(PLUGIN_CELL_STRING_REF), Cell(PLUGIN_CELL_BLOB_REF)};
  cells[0].payload.string.text = text;
  cells[0].payload.string.length = 999;  // the terminator decides, not the length
  cells[1].payload.blob.bytes = bytes;
  cells[1].payload.blob.length = 2;
  PluginCell list = Cell(PLUGIN_CELL_COLLECTION);
  list.payload.collection.cells = cells;
  list.payload.collection.count = 2;

  PluginBoundaryResult result = EmptyResult();
  BindingProperty v;
  ASSERT_TRUE(BindingProperty::FromBoundary(result, v, list, "x"));
  EXPECT_EQ(v.At(0).GetString(), "borrowed");
  EXPECT_EQ(v.At(1).GetBlob().size(), 2u);

  // Releasing reference cells alone frees nothing (the arrays here are not heap-owned).
  const uint64_t live_before = LiveBytes();
  BindingProperty::ReleaseBoundary(cells[0]);
  BindingProperty::ReleaseBoundary(cells[1]);
  EXPECT_EQ(LiveBytes(), live_before);
  EXPECT_EQ(Copy(cells[0].kind), PLUGIN_CELL_EMPTY);
}

TEST(BindingBoundaryTest, IncompatibleKindsStopTheConversion) {
  struct Case {
    const char* name;
    uint32_t badKind;
    bool nested;
    const char* message;
  };
  const Case cases[] = {
      {"unknown kind at the top", 11, false,
       "Couldn't assign value to 'settingsResource' of type object because the input is of an "
       "incompatible type ''."},
      {"unknown kind in a member", 0xFFFFFFFFu, true,
       "Couldn't assign value to 'second' of type object because the input is of an "
       "incompatible type ''."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PluginCell bad = Cell(c.badKind);
    PluginStructEntry entries[3];
    std::memset(static_cast<void*>(entries), 0, sizeof entries);
    entries[0].key = "first";
    entries[0].value = Cell(PLUGIN_CELL_SIGNED);
    entries[0].value.payload.i64 = 1;
    entries[1].key = "second";
    entries[1].value = bad;
    entries[2].key = "third";
    entries[2].value = Cell(PLUGIN_CELL_BOOL);
    PluginCell structure = Cell(PLUGIN_CELL_STRUCTURE);
    structure.payload.structure.entries = entries;
    structure.payload.structure.count = 3;

    PluginBoundaryResult result = EmptyResult();
    BindingProperty prior;
    prior.SetString("prior");
    BindingProperty::ToBoundary(prior, nullptr, result.value);  // dropped on failure
    BindingProperty target;
    EXPECT_FALSE(BindingProperty::FromBoundary(result, target, c.nested ? structure : bad,
                                               "settingsResource"));
    EXPECT_EQ(Copy(result.failed), 1);
    ASSERT_NE(Copy(result.errorText), nullptr);
    EXPECT_STREQ(Copy(result.errorText), c.message);
    EXPECT_EQ(Copy(result.value.kind), PLUGIN_CELL_EMPTY);
    if (c.nested) {
      EXPECT_EQ(target.Find("first").GetSigned(), 1);  // converted before the fault
      EXPECT_TRUE(target.Find("third").IsEmpty());     // never reached
    }
    HeapFree(result.errorText);
  }
}

TEST(BindingBoundaryTest, CellKindNames) {
  const std::pair<uint32_t, const char*> cases[] = {
      {0, ""},      {1, "bool"},       {2, "signed"},     {3, "unsigned"},
      {4, "float"}, {5, "string"},     {6, "string"},     {7, "blob"},
      {8, "blob"},  {9, "collection"}, {10, "structure"}, {11, ""},
  };
  for (const auto& [kind, name] : cases) {
    SCOPED_TRACE(kind);
    EXPECT_STREQ(CellKindName(kind), name);
  }
}

TEST(BindingBoundaryTest, DeepCellTreesConvertAndRelease) {
  constexpr size_t kDepth = 200000;
  BindingProperty v;
  BindingProperty* node = &v;
  for (size_t i = 0; i < kDepth; ++i) node = (i % 2 == 0) ? &node->At(0) : &node->Field("k");
  node->SetString("leaf");
  const uint64_t live_before = LiveBytes();
  PluginCell cell;
  BindingProperty::ToBoundary(v, nullptr, cell);
  PluginBoundaryResult result = EmptyResult();
  BindingProperty back;
  EXPECT_TRUE(BindingProperty::FromBoundary(result, back, cell, "deep"));
  EXPECT_TRUE(back == v);
  BindingProperty::ReleaseBoundary(cell);
  EXPECT_EQ(LiveBytes(), live_before);
}

}  // namespace
}  // namespace Varn

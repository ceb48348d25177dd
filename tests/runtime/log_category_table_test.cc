#include "runtime/log_category_table.h"

#include <gtest/gtest.h>

#include <string>

namespace Varn {
namespace {

TEST(LogCategoryTableTest, BuiltInNamesAndUnregisteredEntries) {
  LogCategoryTable table;
  const char* names[] = {"DBG", "GEN", "XTR", "PRF", "MEM", "DSK", "NET", "TST"};
  for (int i = 0; i < 8; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(table.Name(i), names[i]);
    EXPECT_EQ(table.Register(names[i]), uint64_t{1} << i);
  }
  EXPECT_EQ(table.Name(8), "???");
  EXPECT_EQ(table.Name(63), "???");
  EXPECT_EQ(table.Name(64), "???");
  EXPECT_EQ(table.Name(-1), "???");
  EXPECT_EQ(table.LastIndex(), 7);
}

TEST(LogCategoryTableTest, RegistersInOrderAndMatchesTheFirstThreeCharacters) {
  LogCategoryTable table;
  struct Case {
    const char* name;
    uint64_t mask;
  };
  const Case cases[] = {
      {"NET", 64},  {"NETWORK", 64},  // only three characters count
      {"LOC", 256}, {"ABC", 512},
      {"LOC", 256}, {"AB", 1024},  // shorter names are kept as they are
      {"ABC", 512}, {"AB", 1024},
      {"", 0},      {"net", 2048},  // case matters
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(table.Register(c.name), c.mask);
  }
  EXPECT_EQ(table.Name(8), "LOC");
  EXPECT_EQ(table.Name(10), "AB");
  EXPECT_EQ(table.LastIndex(), 11);
}

TEST(LogCategoryTableTest, AFullTableRegistersNothingMore) {
  LogCategoryTable table;
  for (int i = 8; i < 64; ++i) {
    std::string name = {'C', static_cast<char>('0' + i / 10), static_cast<char>('0' + i % 10)};
    ASSERT_EQ(table.Register(name), uint64_t{1} << i);
  }
  EXPECT_EQ(table.Register("ONE"), 0u);
  EXPECT_EQ(table.Register("C63"), uint64_t{1} << 63);
  EXPECT_EQ(table.LastIndex(), 63);
}

TEST(LogCategoryTableTest, LibraryRegistersLocAtLoad) {
  // Whatever other tests of this process registered, "LOC" was first after the built-ins, so the
  // first name that code registers takes mask 512.
  EXPECT_EQ(LogCategories().Name(8), "LOC");
  EXPECT_EQ(RegisterCategory("LOC"), 256u);
  EXPECT_EQ(RegisterCategory("NET"), 64u);
  int next = LogCategories().LastIndex() + 1;
  ASSERT_LT(next, 64);
  EXPECT_EQ(RegisterCategory("Q1Z"), uint64_t{1} << next);
  EXPECT_EQ(RegisterCategory("Q1Z"), uint64_t{1} << next);
}

}  // namespace
}  // namespace Varn

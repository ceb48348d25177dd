#include "binding/static_type.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace Varn {
namespace {

struct Anonymous {};
struct Named {
  static const char* StaticTypeName() { return "Named"; }
};

TEST(StaticTypeTest, OneRecordPerTypeWithFallbackName) {
  const StaticType& type = StaticTypeOf<Anonymous>();
  EXPECT_EQ(&type, &StaticTypeOf<Anonymous>());
  EXPECT_EQ(type.HashCode(), StaticTypeHash<Anonymous>());
  char expected[12];
  std::snprintf(expected, sizeof(expected), "#%08X", type.HashCode());
  EXPECT_STREQ(type.Name(), expected);
  EXPECT_STREQ(StaticTypeOf<Named>().Name(), "Named");
}

TEST(StaticTypeTest, QualifiersAndNamespacesMakeDistinctTypes) {
  const uint32_t hashes[] = {
      StaticTypeHash<BindingProperty>(),
      StaticTypeHash<BindingProperty&>(),
      StaticTypeHash<const BindingProperty&>(),
      StaticTypeHash<int>(),
      StaticTypeHash<bool>(),
      StaticTypeHash<void>(),
      StaticTypeHash<uint64_t>(),
      StaticTypeHash<Anonymous>(),
  };
  for (size_t i = 0; i < std::size(hashes); ++i) {
    for (size_t j = i + 1; j < std::size(hashes); ++j) {
      EXPECT_NE(hashes[i], hashes[j]) << i << " " << j;
    }
  }
}

}  // namespace
}  // namespace Varn

#include "binding/native_kind.h"

#include <gtest/gtest.h>

#include <string>

namespace Varn {
namespace {

TEST(NativeKindTest, Spellings) {
  const char* expected[] = {"",       "bool",   "int8",   "uint8",  "int16",    "uint16", "int32",
                            "uint32", "int64",  "uint64", "float",  "double",   "string", "object",
                            "blob",   "vector", "enum",   "struct", "callback", "map",    ""};
  for (int i = 0; i < static_cast<int>(std::size(expected)); ++i) {
    SCOPED_TRACE(i);
    EXPECT_STREQ(NativeKindName(static_cast<NativeKind>(i)), expected[i]);
  }
  EXPECT_STREQ(NativeKindName(static_cast<NativeKind>(255)), "");
}

}  // namespace
}  // namespace Varn

#include "binding/reason_phrase.h"

#include <gtest/gtest.h>

#include <optional>
#include <string_view>

namespace Varn {
namespace {

TEST(ReasonPhraseTest, KnownAndUnknownCodes) {
  struct Case {
    int code;
    std::optional<std::string_view> phrase;
  };
  const Case cases[] = {
      {100, "Continue"},
      {200, "OK"},
      {207, "207 Multi-Status"},
      {307, "Temporary Redirect"},
      {404, "Not Found"},
      {424, "Failed Dependency"},
      {500, "Internal Server Error"},
      {507, "Insufficient Storage"},
      {0, std::nullopt},
      {-404, std::nullopt},
      {99, std::nullopt},
      {306, std::nullopt},
      {418, std::nullopt},
      {506, std::nullopt},
      {508, std::nullopt},
      {1404, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    EXPECT_EQ(ReasonPhrase(c.code), c.phrase);
  }
}

}  // namespace
}  // namespace Varn

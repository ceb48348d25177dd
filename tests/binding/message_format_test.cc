#include "binding/message_format.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>

namespace Varn {
namespace {

struct Case {
  const char* what;
  std::string actual;
  std::string expected;
};

TEST(MessageFormatTest, Placeholders) {
  const std::string owned = "owned";
  const Case cases[] = {
      {"numbered placeholders with default conversions",
       FormatMessage("Value %1 for '%2' of type %3 is out of range", int64_t{300}, "f", "int8"),
       "Value 300 for 'f' of type int8 is out of range"},
      {"arguments in another order", FormatMessage("%2 %1", "a", "b"), "b a"},
      {"doubled percent", FormatMessage("%%1", "a"), "%1"},
      {"a bare number ends the placeholder", FormatMessage("%1d", 7), "7d"},
      {"dollar form with width", FormatMessage("%1$5d", 42), "   42"},
      {"dollar form with hex", FormatMessage("%1$x", 255), "ff"},
      {"dollar form with upper hex", FormatMessage("%1$#X", 255), "0XFF"},
      {"text conversion on an integer falls back", FormatMessage("%1$s", 17), "17"},
      {"integer conversion on text falls back", FormatMessage("%1$d", "t"), "t"},
      {"float conversion on an integer falls back", FormatMessage("%1$f", 3), "3"},
      {"argument beyond the count stops", FormatMessage("a %3 b", 1, 2), "a "},
      {"malformed star width stops", FormatMessage("x%1$*2y", 1, 2), "x"},
      {"star width from a text argument stops", FormatMessage("x%*d", "w", 2), "x"},
      {"unnumbered placeholders take the next argument", FormatMessage("%d-%s-%d", 1, "two", 3),
       "1-two-3"},
      {"unnumbered after numbered continues after it", FormatMessage("%2 %d", 1, 2, 3), "2 3"},
      {"star width", FormatMessage("[%*d]", 4, 7), "[   7]"},
      {"numbered star width", FormatMessage("[%1$*2$d]", 7, 3), "[  7]"},
      {"negative star width left-justifies", FormatMessage("[%*d]", -3, 7), "[7  ]"},
      {"precision on text", FormatMessage("[%1$.2s]", "abcdef"), "[ab]"},
      {"width and left flag on text", FormatMessage("[%1$-4s|%2$4s]", "ab", "cd"), "[ab  |  cd]"},
      {"precision on double", FormatMessage("%1$.3f", 1.5), "1.500"},
      {"doubles print in g form", FormatMessage("%1 %2", 1.5, 1e20), "1.5 1e+20"},
      {"signed 64-bit extremes", FormatMessage("%1 %2", LLONG_MIN, LLONG_MAX),
       "-9223372036854775808 9223372036854775807"},
      {"unsigned 64-bit maximum", FormatMessage("%1", ULLONG_MAX), "18446744073709551615"},
      {"unsigned 32-bit is not sign-extended", FormatMessage("%1", 4294967295u), "4294967295"},
      {"unsigned 32-bit with d reads as signed", FormatMessage("%1$d", 4294967295u), "-1"},
      {"signed 32-bit with u", FormatMessage("%1$u", -1), "4294967295"},
      {"signed 64-bit with x", FormatMessage("%1$x", int64_t{-1}), "ffffffffffffffff"},
      {"caller's length modifier is ignored", FormatMessage("%1$hhd %2$lld", 300, 5), "300 5"},
      {"char conversion", FormatMessage("%1$c", 65), "A"},
      {"n prints nothing", FormatMessage("a%1$nb", 5), "ab"},
      {"flags", FormatMessage("%1$+d %2$05d", 5, 42), "+5 00042"},
      {"std::string and string_view", FormatMessage("%1/%2", owned, std::string_view("view")),
       "owned/view"},
      {"bool is text", FormatMessage("%1 %2", true, false), "true false"},
      {"null text", FormatMessage("%1", static_cast<const char*>(nullptr)), "(null)"},
      {"no arguments", FormatMessage("plain"), "plain"},
      {"argument list in braces", FormatMessage("%1-%2", {int64_t{-1}, "b"}), "-1-b"},
      {"char prints its code unless converted with c", FormatMessage("%1 %1$c", 'A'), "65 A"},
      {"trailing percent without arguments", FormatMessage("100%"), "100"},
      {"placeholder of 59 characters", FormatMessage("%1$" + std::string(54, '-') + "5d|", 7),
       "7    |"},
      {"placeholder of 60 characters stops", FormatMessage("a%1$" + std::string(55, '-') + "5d", 7),
       "a"},
      {"huge argument number stops", FormatMessage("a%99999999999999999999$d", 1), "a"},
      {"argument number zero in star form stops", FormatMessage("a%*0$d", 1), "a"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.actual, c.expected);
  }
}

TEST(MessageFormatTest, ResultIsCutAtTheBuffer) {
  const std::string long_text(5000, 'x');
  const Case cases[] = {
      {"long text argument", FormatMessage("%1", long_text), std::string(4095, 'x')},
      {"long literal format", FormatMessage(long_text), std::string(4095, 'x')},
      {"wide field", FormatMessage("ab%1$9999d", 7), "ab" + std::string(4093, ' ')},
      {"huge star width", FormatMessage("%*d", INT_MAX, 7), std::string(4094, ' ') + "7"},
      {"huge precision on a double", FormatMessage("%1$.99999f", 1.0),
       "1." + std::string(4093, '0')},
      {"number after a full buffer", FormatMessage(std::string(4094, 'y') + "%1", 123),
       std::string(4094, 'y') + "1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.actual.size(), c.expected.size());
    EXPECT_EQ(c.actual, c.expected);
  }
}

TEST(MessageFormatTest, StatusText) {
  EXPECT_EQ(FormatStatus(true, 0, "ignored"), "Success");
  EXPECT_EQ(FormatStatus(false, 404, "Not found"), "Not found (404)");
  EXPECT_EQ(FormatStatus(false, -5, ""), " (-5)");
}

}  // namespace
}  // namespace Varn

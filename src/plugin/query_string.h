// The query string of a request path: split into (name, value) pairs and URL-decoded.
#ifndef ZEK_PLUGIN_QUERY_STRING_H_
#define ZEK_PLUGIN_QUERY_STRING_H_

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Varn {

// "+" becomes a blank and "%" with two hexadecimal digits (either case) the byte they spell. A "%"
// with fewer than two characters after it is dropped; one followed by two characters that are not
// both hexadecimal digits stays as the three characters. Everything else is copied.
std::string UrlDecode(std::string_view text);

// Splits on "&"; each piece is cut at its first "=" (a piece without one is a name with an empty
// value); names and values are URL-decoded. A repeated name keeps its first position and its last
// value. Empty pieces are skipped.
std::vector<std::pair<std::string, std::string>> SplitQuery(std::string_view query);

// Splits a request path at its first "?" into the path proper and the query after it.
std::pair<std::string_view, std::string_view> SplitPathAndQuery(std::string_view path);

}  // namespace Varn

#endif  // ZEK_PLUGIN_QUERY_STRING_H_

#include "binding/reason_phrase.h"

#include <algorithm>
#include <iterator>

namespace Varn {
namespace {

struct Entry {
  int code;
  std::string_view phrase;
};

// Sorted by code for the binary search. 207 carries its own number in its phrase: clients
// match that text as it stands.
constexpr Entry kPhrases[] = {
    {100, "Continue"},
    {101, "Switching Protocols"},
    {102, "Processing"},
    {200, "OK"},
    {201, "Created"},
    {202, "Accepted"},
    {203, "Non-Authoritative Information"},
    {204, "No Content"},
    {205, "Reset Content"},
    {206, "Partial Content"},
    {207, "207 Multi-Status"},
    {300, "Multiple Choices"},
    {301, "Moved Permanently"},
    {302, "Found"},
    {303, "See Other"},
    {304, "Not Modified"},
    {305, "Use Proxy"},
    {307, "Temporary Redirect"},
    {400, "Bad Request"},
    {401, "Unauthorized"},
    {402, "Payment Required"},
    {403, "Forbidden"},
    {404, "Not Found"},
    {405, "Method Not Allowed"},
    {406, "Not Acceptable"},
    {407, "Proxy Authentication Required"},
    {408, "Request Timeout"},
    {409, "Conflict"},
    {410, "Gone"},
    {411, "Length Required"},
    {412, "Precondition Failed"},
    {413, "Request Entity Too Large"},
    {414, "Request-URI Too Long"},
    {415, "Unsupported Media Type"},
    {416, "Requested Range Not Satisfiable"},
    {417, "Expectation Failed"},
    {422, "Unprocessable Entity"},
    {423, "Locked"},
    {424, "Failed Dependency"},
    {500, "Internal Server Error"},
    {501, "Not Implemented"},
    {502, "Bad Gateway"},
    {503, "Service Unavailable"},
    {504, "Gateway Timeout"},
    {505, "HTTP Version Not Supported"},
    {507, "Insufficient Storage"},
};

static_assert(std::is_sorted(std::begin(kPhrases), std::end(kPhrases),
                             [](const Entry& a, const Entry& b) { return a.code < b.code; }));

}  // namespace

std::optional<std::string_view> ReasonPhrase(int code) {
  const Entry* it = std::lower_bound(std::begin(kPhrases), std::end(kPhrases), code,
                                     [](const Entry& e, int c) { return e.code < c; });
  if (it == std::end(kPhrases) || it->code != code) return std::nullopt;
  return it->phrase;
}

}  // namespace Varn

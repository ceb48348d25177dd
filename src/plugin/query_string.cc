#include "plugin/query_string.h"

namespace Varn {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string UrlDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '+') {
      out += ' ';
    } else if (c != '%') {
      out += c;
    } else if (i + 2 < text.size()) {
      int high = HexDigit(text[i + 1]);
      int low = HexDigit(text[i + 2]);
      if (high >= 0 && low >= 0) {
        out += static_cast<char>(high * 16 + low);
      } else {
        out.append(text.substr(i, 3));
      }
      i += 2;
    }
    // A "%" too close to the end is dropped; the characters after it are copied next round.
  }
  return out;
}

std::vector<std::pair<std::string, std::string>> SplitQuery(std::string_view query) {
  std::vector<std::pair<std::string, std::string>> pairs;
  while (!query.empty()) {
    size_t amp = query.find('&');
    std::string_view piece = query.substr(0, amp);
    query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
    if (piece.empty()) continue;
    size_t eq = piece.find('=');
    std::string name = UrlDecode(piece.substr(0, eq));
    std::string value =
        eq == std::string_view::npos ? std::string() : UrlDecode(piece.substr(eq + 1));
    bool replaced = false;
    for (auto& pair : pairs) {
      if (pair.first == name) {
        pair.second = std::move(value);
        replaced = true;
        break;
      }
    }
    if (!replaced) pairs.emplace_back(std::move(name), std::move(value));
  }
  return pairs;
}

std::pair<std::string_view, std::string_view> SplitPathAndQuery(std::string_view path) {
  size_t mark = path.find('?');
  if (mark == std::string_view::npos) return {path, {}};
  return {path.substr(0, mark), path.substr(mark + 1)};
}

}  // namespace Varn

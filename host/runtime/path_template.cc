#include "host/runtime/path_template.h"

namespace Varn::Host {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string Decode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out += ' ';
    } else if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
               HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace

PathTemplate::PathTemplate(std::string_view text) : text_(text) {
  std::string literal;
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] != '{') {
      literal += text[i++];
      continue;
    }
    size_t close = text.find('}', i + 1);
    size_t end = close == std::string_view::npos ? text.size() : close;
    std::string_view name = text.substr(i + 1, end - i - 1);
    Kind kind = Kind::kSegment;
    if (!name.empty() && (name[0] == '+' || name[0] == '#')) {
      if (name[0] == '#') literal += '#';
      kind = Kind::kRest;
      name.remove_prefix(1);
    }
    if (!literal.empty()) pieces_.push_back({Kind::kLiteral, std::move(literal)});
    literal.clear();
    pieces_.push_back({kind, {}});
    names_.emplace_back(name);
    i = close == std::string_view::npos ? end : end + 1;
  }
  if (!literal.empty()) pieces_.push_back({Kind::kLiteral, std::move(literal)});
}

bool PathTemplate::MatchFrom(size_t piece, std::string_view path, size_t pos) const {
  for (; piece < pieces_.size(); ++piece) {
    const Piece& p = pieces_[piece];
    if (p.kind == Kind::kLiteral) {
      if (path.compare(pos, p.literal.size(), p.literal) != 0) return false;
      pos += p.literal.size();
      continue;
    }
    // A capture stops at a line end, and a segment capture also at "/"; try longest first.
    size_t limit = pos;
    while (limit < path.size() && path[limit] != '\n' && path[limit] != '\r' &&
           (p.kind == Kind::kRest || path[limit] != '/')) {
      ++limit;
    }
    for (size_t end = limit + 1; end-- > pos;) {
      if (MatchFrom(piece + 1, path, end)) return true;
    }
    return false;
  }
  return pos == path.size();
}

std::pair<std::string_view, std::string_view> SplitPathAndQuery(std::string_view path) {
  size_t mark = path.find('?');
  if (mark == std::string_view::npos) return {path, {}};
  return {path.substr(0, mark), path.substr(mark + 1)};
}

std::string QueryParameter(std::string_view query, std::string_view name,
                           std::string_view fallback) {
  while (!query.empty()) {
    size_t amp = query.find('&');
    std::string_view piece = query.substr(0, amp);
    query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
    size_t eq = piece.find('=');
    if (Decode(piece.substr(0, eq)) != name) continue;
    return eq == std::string_view::npos ? std::string() : Decode(piece.substr(eq + 1));
  }
  return std::string(fallback);
}

}  // namespace Varn::Host

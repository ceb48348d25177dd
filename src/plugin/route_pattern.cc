#include "plugin/route_pattern.h"

#include <cstring>

namespace Varn {
namespace {

constexpr std::string_view kRegexSpecials = "^$.*+?()[]|\\";
constexpr std::string_view kSegmentGroup = "([^/]*)";
constexpr std::string_view kRestGroup = "(.*)";

// "." of an ECMAScript expression stops at line terminators; a rest capture must too.
bool IsLineTerminator(char c) { return c == '\n' || c == '\r'; }

}  // namespace

RoutePattern::RoutePattern(std::string_view path_template)
    : template_(path_template), literal_(path_template.find('{') == std::string_view::npos) {
  if (literal_) {
    pieces_.push_back({PieceKind::kLiteral, template_});
    return;
  }
  std::string literal;
  auto flush_literal = [&] {
    if (!literal.empty()) pieces_.push_back({PieceKind::kLiteral, std::move(literal)});
    literal.clear();
  };
  size_t i = 0;
  while (i < path_template.size()) {
    char c = path_template[i];
    if (c != '{') {
      if (kRegexSpecials.find(c) != std::string_view::npos) regex_ += '\\';
      regex_ += c;
      literal += c;
      ++i;
      continue;
    }
    // A parameter runs to the next "}"; an unclosed one takes the rest of the template.
    size_t close = path_template.find('}', i + 1);
    size_t end = close == std::string_view::npos ? path_template.size() : close;
    std::string_view body = path_template.substr(i + 1, end - i - 1);
    PieceKind kind = PieceKind::kSegment;
    if (!body.empty() && (body[0] == '+' || body[0] == '#')) {
      if (body[0] == '#') {
        regex_ += '#';
        literal += '#';
      }
      kind = PieceKind::kRest;
      body.remove_prefix(1);
    }
    regex_ += kind == PieceKind::kSegment ? kSegmentGroup : kRestGroup;
    flush_literal();
    pieces_.push_back({kind, {}});
    names_.emplace_back(body);
    i = close == std::string_view::npos ? end : end + 1;
  }
  flush_literal();
}

std::string_view RoutePattern::LiteralPrefix() const {
  if (pieces_.empty() || pieces_[0].kind != PieceKind::kLiteral) return {};
  return pieces_[0].text;
}

bool RoutePattern::Match(std::string_view path, std::vector<std::string_view>& captures) const {
  captures.clear();
  if (literal_) return path == template_;
  captures.resize(names_.size());
  return MatchFrom(0, 0, path, 0, captures);
}

bool RoutePattern::MatchFrom(size_t piece, size_t capture, std::string_view path, size_t pos,
                             std::vector<std::string_view>& captures) const {
  while (piece < pieces_.size()) {
    const Piece& p = pieces_[piece];
    if (p.kind == PieceKind::kLiteral) {
      if (path.compare(pos, p.text.size(), p.text) != 0) return false;
      pos += p.text.size();
      ++piece;
      continue;
    }
    // The longest run the capture may take, then shorter ones, as a greedy regex backtracks.
    size_t limit = path.size();
    const char* rest = path.data() + pos;
    size_t left = path.size() - pos;
    if (p.kind == PieceKind::kSegment) {
      if (const void* slash = std::memchr(rest, '/', left)) {
        limit = static_cast<size_t>(static_cast<const char*>(slash) - path.data());
      }
    } else {
      for (size_t i = pos; i < path.size(); ++i) {
        if (IsLineTerminator(path[i])) {
          limit = i;
          break;
        }
      }
    }
    if (piece + 1 == pieces_.size()) {
      if (limit != path.size()) return false;
      captures[capture] = path.substr(pos, limit - pos);
      return true;
    }
    // Only ends where the next literal can start are worth trying.
    const Piece& next = pieces_[piece + 1];
    bool next_literal = next.kind == PieceKind::kLiteral;
    for (size_t end = limit + 1; end-- > pos;) {
      if (next_literal && (end >= path.size() || path[end] != next.text[0])) continue;
      captures[capture] = path.substr(pos, end - pos);
      if (MatchFrom(piece + 1, capture + 1, path, end, captures)) return true;
    }
    return false;
  }
  return pos == path.size();
}

}  // namespace Varn

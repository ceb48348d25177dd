// RoutePattern: a route's path template turned, once at registration, into a matcher.
//
// Template syntax: "{name}" captures one path segment (possibly empty), "{+name}" captures the
// rest of the path across "/", "{#name}" matches "#" and then captures the rest; everything else
// is literal. The matcher gives exactly the matches and captures of the regular expression that
// RegexText() spells (ECMAScript, matched against the whole path), without running a regex:
// greedy captures are tried longest first, the same order a backtracking regex engine tries them.
#ifndef ZEK_PLUGIN_ROUTE_PATTERN_H_
#define ZEK_PLUGIN_ROUTE_PATTERN_H_

#include <string>
#include <string_view>
#include <vector>

namespace Varn {

class RoutePattern {
 public:
  explicit RoutePattern(std::string_view path_template);

  // True when the template has no "{": it matches only its own text and captures nothing.
  bool IsLiteral() const { return literal_; }
  const std::string& Template() const { return template_; }
  // Parameter names in order of appearance, one per capture.
  const std::vector<std::string>& ParameterNames() const { return names_; }
  // The literal text every match starts with.
  std::string_view LiteralPrefix() const;
  // The equivalent regular expression ("" for a literal template, which is compared as text).
  const std::string& RegexText() const { return regex_; }

  // Matches the whole `path`. On success `captures` holds one view into `path` per parameter.
  bool Match(std::string_view path, std::vector<std::string_view>& captures) const;

 private:
  enum class PieceKind { kLiteral, kSegment, kRest };
  struct Piece {
    PieceKind kind;
    std::string text;  // kLiteral only
  };
  bool MatchFrom(size_t piece, size_t capture, std::string_view path, size_t pos,
                 std::vector<std::string_view>& captures) const;

  std::string template_;
  std::string regex_;
  std::vector<std::string> names_;
  std::vector<Piece> pieces_;
  bool literal_ = true;
};

}  // namespace Varn

#endif  // ZEK_PLUGIN_ROUTE_PATTERN_H_

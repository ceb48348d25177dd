// PathTemplate: the host's matcher for the path templates of a plugin's function descriptions,
// written from the boundary header's description of them: "{name}" takes one segment (possibly
// empty), "{+name}" the rest of the path across "/", "{#name}" a "#" and then the rest; all else
// is literal and matches itself. The whole path must be used up; captures that take the rest try
// the longest text first. Split into pieces once, when the template is given.
#ifndef ZEK_HOST_RUNTIME_PATH_TEMPLATE_H_
#define ZEK_HOST_RUNTIME_PATH_TEMPLATE_H_

#include <string>
#include <string_view>
#include <vector>

namespace Varn::Host {

class PathTemplate {
 public:
  explicit PathTemplate(std::string_view text);

  const std::string& Text() const { return text_; }
  // Names of the parameters, in order of appearance.
  const std::vector<std::string>& ParameterNames() const { return names_; }
  bool Matches(std::string_view path) const { return MatchFrom(0, path, 0); }

 private:
  enum class Kind { kLiteral, kSegment, kRest };
  struct Piece {
    Kind kind;
    std::string literal;
  };
  bool MatchFrom(size_t piece, std::string_view path, size_t pos) const;

  std::string text_;
  std::vector<Piece> pieces_;
  std::vector<std::string> names_;
};

// Splits a request path at its first "?" into the path proper and the query after it.
std::pair<std::string_view, std::string_view> SplitPathAndQuery(std::string_view path);

// The value of query parameter `name` ("+" a blank, "%XX" a byte), or `fallback` when absent.
std::string QueryParameter(std::string_view query, std::string_view name,
                           std::string_view fallback = {});

}  // namespace Varn::Host

#endif  // ZEK_HOST_RUNTIME_PATH_TEMPLATE_H_

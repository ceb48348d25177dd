#include "plugin/resource_event_name.h"

namespace Varn {
namespace {

constexpr std::string_view kPlatformConfig = "zek-platform-config";
constexpr size_t kEntries = 4;
constexpr size_t kPlatformConfigEntries = 6;

}  // namespace

std::string ResourceEventName(std::string_view path) {
  std::string name(kJsonApiEvent);
  size_t entries = 1;
  size_t limit = kEntries;
  size_t at = 0;
  while (at < path.size() && entries < limit) {
    size_t end = path.find('/', at);
    if (end == std::string_view::npos) end = path.size();
    if (end > at) {
      std::string_view segment = path.substr(at, end - at);
      if (entries == 1 && segment == kPlatformConfig) limit = kPlatformConfigEntries;
      name += '_';
      name += segment;
      ++entries;
    }
    at = end + 1;
  }
  return name;
}

bool MatchesWildcard(std::string_view pattern, std::string_view text) {
  size_t t = 0;
  for (char p : pattern) {
    if (p == '*') {
      if (t == text.size()) return false;
      while (t < text.size() && text[t] != '/') ++t;
      continue;
    }
    if (t == text.size() || text[t] != p) return false;
    ++t;
  }
  return t == text.size();
}

}  // namespace Varn

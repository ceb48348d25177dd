#include "host/runtime/event_name.h"

#include <vector>

namespace Varn::Host {
namespace {

constexpr size_t kNameEntries = 4;
constexpr size_t kPlatformConfigEntries = 6;
constexpr std::string_view kPlatformConfig = "zek-platform-config";

}  // namespace

std::string ResourceEventName(std::string_view path) {
  std::vector<std::string_view> entries{kCatchAllEventName};
  while (!path.empty()) {
    size_t slash = path.find('/');
    std::string_view segment = path.substr(0, slash);
    path = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
    if (!segment.empty()) entries.push_back(segment);
  }
  size_t limit =
      entries.size() > 1 && entries[1] == kPlatformConfig ? kPlatformConfigEntries : kNameEntries;
  if (entries.size() > limit) entries.resize(limit);
  std::string name;
  for (size_t i = 0; i < entries.size(); ++i) {
    if (i != 0) name += '_';
    name += entries[i];
  }
  return name;
}

bool EventNameMatches(std::string_view pattern, std::string_view name) {
  size_t at = 0;
  for (char c : pattern) {
    if (c == '*') {
      if (at == name.size()) return false;
      while (at < name.size() && name[at] != '/') ++at;
      continue;
    }
    if (at == name.size() || name[at] != c) return false;
    ++at;
  }
  return at == name.size();
}

}  // namespace Varn::Host

// The host carries resource events by name; these are the names a resource path is published
// and subscribed under, and the pattern rule by which wildcard listeners pick paths.
#ifndef ZEK_PLUGIN_RESOURCE_EVENT_NAME_H_
#define ZEK_PLUGIN_RESOURCE_EVENT_NAME_H_

#include <string>
#include <string_view>

namespace Varn {

// Every resource event is also published under this name.
inline constexpr std::string_view kJsonApiEvent = "OnJsonApiEvent";

// "OnJsonApiEvent" and the path's non-empty segments, cut to four entries (six below
// "zek-platform-config", whose namespaces are told apart), joined with "_": paths deeper than
// three segments share the event of their first three.
std::string ResourceEventName(std::string_view path);

// Whether `text` matches `pattern`, in which "*" stands for a run of characters other than "/".
// The run is greedy and never given back; a "*" with nothing left to match fails, one that
// meets "/" matches nothing. Both texts must be used up.
bool MatchesWildcard(std::string_view pattern, std::string_view text);

}  // namespace Varn

#endif  // ZEK_PLUGIN_RESOURCE_EVENT_NAME_H_

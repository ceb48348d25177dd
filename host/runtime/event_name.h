// How the host names resource events: the name a resource path is published and listened
// under, and the wildcard rule of listener names that hold "*".
#ifndef ZEK_HOST_RUNTIME_EVENT_NAME_H_
#define ZEK_HOST_RUNTIME_EVENT_NAME_H_

#include <string>
#include <string_view>

namespace Varn::Host {

// Every resource event is published a second time under this name.
inline constexpr std::string_view kCatchAllEventName = "OnJsonApiEvent";

// "OnJsonApiEvent" and the path's non-empty segments, at most four entries (six below
// "zek-platform-config"), joined with "_".
std::string ResourceEventName(std::string_view path);

// Whether `name` matches `pattern`, in which "*" takes a run of characters other than "/",
// greedily and without giving any back; a "*" with nothing left to take fails. Both texts must
// be used up.
bool EventNameMatches(std::string_view pattern, std::string_view name);

}  // namespace Varn::Host

#endif  // ZEK_HOST_RUNTIME_EVENT_NAME_H_

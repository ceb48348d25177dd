// The parts of a plugin's ApiDescription: one boundary entry per function, so the host can route,
// and the whole API as a value in the form of the "BindingFullApiHelp" record, so a person can
// read it.
#ifndef ZEK_PLUGIN_API_DESCRIPTION_H_
#define ZEK_PLUGIN_API_DESCRIPTION_H_

#include <string>
#include <string_view>
#include <vector>

#include "binding/binding_property.h"
#include "plugin/route_table.h"
#include "zek/plugin_abi.h"

namespace Varn {

// One entry per function of `routes`, in declaration order, each served by `entry` with
// `context`. The entries point into `routes`, which must outlive them.
std::vector<PluginFunctionDescription> DescribeFunctions(const RouteTable& routes,
                                                         PluginFunctionEntry entry, void* context);

// {"functions": [...], "types": [...], "events": [...]}; each function with its name, name
// space, return type, arguments (name, description, type, optional), description, help,
// thread-safety, async tag and tags.
BindingProperty DescribeApi(const RouteTable& routes, std::string_view name_space,
                            const std::vector<std::string>& tags);

}  // namespace Varn

#endif  // ZEK_PLUGIN_API_DESCRIPTION_H_

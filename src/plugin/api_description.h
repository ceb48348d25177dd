// The parts of a plugin's ApiDescription: one boundary entry per function, so the host can route,
// and the whole API (functions, types, events) as a "BindingFullApiHelp" record, so a person can
// read it.
#ifndef ZEK_PLUGIN_API_DESCRIPTION_H_
#define ZEK_PLUGIN_API_DESCRIPTION_H_

#include <string>
#include <string_view>
#include <vector>

#include "binding/binding_property.h"
#include "binding/binding_registry.h"
#include "plugin/route_table.h"
#include "zek/plugin_abi.h"

namespace Varn {

// One entry per function of `routes`, in declaration order, each served by `entry` with
// `context`. The entries point into `routes`, which must outlive them.
std::vector<PluginFunctionDescription> DescribeFunctions(const RouteTable& routes,
                                                         PluginFunctionEntry entry, void* context);

// Adds every function of `routes` to `registry`'s function descriptions.
void RegisterFunctions(const RouteTable& routes, std::string_view name_space,
                       const std::vector<std::string>& tags, BindingRegistry& registry);

// The registry's functions, types and events as a "BindingFullApiHelp" record.
BindingResult DescribeApi(const BindingRegistry& registry);

}  // namespace Varn

#endif  // ZEK_PLUGIN_API_DESCRIPTION_H_

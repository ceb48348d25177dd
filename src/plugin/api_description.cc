#include "plugin/api_description.h"

#include "plugin/function_name.h"

namespace Varn {
namespace {

void DescribeType(BindingProperty& out, const RouteValueType& type) {
  out.Field("type").SetString(type.type);
  out.Field("elementType").SetString(type.elementType);
}

}  // namespace

std::vector<PluginFunctionDescription> DescribeFunctions(const RouteTable& routes,
                                                         PluginFunctionEntry entry, void* context) {
  std::vector<PluginFunctionDescription> out;
  out.reserve(routes.Functions().size());
  for (const auto& function : routes.Functions()) {
    out.push_back(PluginFunctionDescription{function->name.c_str(), function->method,
                                            function->pattern.Template().c_str(),
                                            function->callName.c_str(), entry, context});
  }
  return out;
}

BindingProperty DescribeApi(const RouteTable& routes, std::string_view name_space,
                            const std::vector<std::string>& tags) {
  BindingProperty api;
  BindingProperty& functions = api.Field("functions");
  functions.MakeCollection();
  for (const auto& function : routes.Functions()) {
    BindingProperty& f = functions.Append();
    f.Field("name").SetString(function->name);
    f.Field("nameSpace").SetString(name_space);
    DescribeType(f.Field("returns"), function->signature.returns);
    BindingProperty& arguments = f.Field("arguments");
    arguments.MakeCollection();
    for (const RouteParameter& param : function->parameters) {
      BindingProperty& a = arguments.Append();
      a.Field("name").SetString(param.name);
      a.Field("description").SetString(param.help);
      DescribeType(a.Field("type"), param.type);
      a.Field("optional").SetBool(param.optional);
    }
    f.Field("description")
        .SetString(std::string(MethodName(function->method)) + " " + function->pattern.Template());
    f.Field("help").SetString("");
    f.Field("threadSafe").SetBool(false);
    f.Field("async").SetString("");
    BindingProperty& t = f.Field("tags");
    t.MakeCollection();
    for (const std::string& tag : tags) t.Append().SetString(tag);
  }
  api.Field("types").MakeCollection();
  api.Field("events").MakeCollection();
  return api;
}

}  // namespace Varn

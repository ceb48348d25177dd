#include "plugin/api_description.h"

#include "binding/binding_convert.h"
#include "binding/builtin_types.h"
#include "plugin/function_name.h"

namespace Varn {
namespace {

// A type as people read it: records and enumerations by their registered names, containers as
// "vector" or "map" with their element's name, everything else by its kind.
std::string KindText(NativeKind kind, const BindingTypeInfo* type) {
  if ((kind == NativeKind::Struct || kind == NativeKind::Enum) && type != nullptr) {
    return type->name;
  }
  return kind == NativeKind::None ? "void" : NativeKindName(kind);
}

BindingFullTypeIdentifier Identify(NativeKind kind, NativeKind element_kind,
                                   const BindingTypeInfo* type) {
  if (kind == NativeKind::Vector || kind == NativeKind::Map) {
    return {NativeKindName(kind), KindText(element_kind, type)};
  }
  return {KindText(kind, type), {}};
}

BindingValueType ValueType(const RouteValueType& type, const BindingRegistry& registry) {
  return {type.kind, type.elementKind,
          type.typeHash != 0 ? registry.FindType(type.typeHash) : nullptr};
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

void RegisterFunctions(const RouteTable& routes, std::string_view name_space,
                       const std::vector<std::string>& tags, BindingRegistry& registry) {
  for (const auto& function : routes.Functions()) {
    BindingFunctionInfo info;
    info.name = function->name;
    info.nameSpace = name_space;
    info.description =
        std::string(MethodName(function->method)) + " " + function->pattern.Template();
    info.tags = tags;
    info.returns = ValueType(function->signature.returns, registry);
    for (const RouteParameter& param : function->parameters) {
      BindingArgumentInfo argument;
      argument.name = param.name;
      argument.description = param.help;
      argument.type = ValueType(param.type, registry);
      argument.optional = param.optional;
      argument.location = static_cast<uint32_t>(param.location);
      info.arguments.push_back(std::move(argument));
    }
    (void)registry.AddFunction(std::move(info));
  }
}

BindingResult DescribeApi(const BindingRegistry& registry) {
  BindingFullApiHelp api;
  for (const BindingFunctionInfo* function : registry.Functions()) {
    BindingFullFunctionHelp& f = api.functions.emplace_back();
    f.name = function->name;
    f.nameSpace = function->nameSpace;
    f.returns =
        Identify(function->returns.kind, function->returns.elementKind, function->returns.typeInfo);
    for (const BindingArgumentInfo& argument : function->arguments) {
      f.arguments.push_back(
          {argument.name, argument.description,
           Identify(argument.type.kind, argument.type.elementKind, argument.type.typeInfo),
           argument.optional});
    }
    f.description = function->description;
    f.help = function->help;
    f.threadSafe = function->threadSafe;
    f.async = function->async;
    f.tags = function->tags;
  }
  for (const BindingTypeInfo* type : registry.Types()) {
    BindingFullTypeHelp& t = api.types.emplace_back();
    t.name = type->name;
    t.nameSpace = type->nameSpace;
    t.size = static_cast<uint32_t>(type->size);
    t.description = type->description;
    t.tags = type->tags;
    for (const BindingFieldInfo& field : type->fields) {
      t.fields.push_back(
          {field.name, field.description, Identify(field.kind, field.elementKind, field.typeInfo),
           static_cast<uint32_t>(field.offset), (field.flags & kBindingFieldRequired) == 0});
    }
    for (const BindingEnumerator& enumerator : type->enumerators) {
      t.values.push_back({enumerator.name, enumerator.value, enumerator.description});
    }
  }
  for (const BindingEventInfo* event : registry.Events()) {
    api.events.push_back({event->name, event->nameSpace,
                          event->type != nullptr ? event->type->name : std::string(),
                          event->description, event->tags});
  }
  return ToBinding(&api, registry.FindType(StaticTypeOf<BindingFullApiHelp>().HashCode()));
}

}  // namespace Varn

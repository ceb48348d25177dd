#include "plugin/frame_types.h"

#include "binding/binding_record_builder.h"
#include "binding/binding_registry.h"

namespace Varn {
namespace {

using Client::PluginManagerResource;
using Client::PluginManagerState;
using Client::PluginResourceEvent;
using Client::PluginResourceEventType;
using Client::AppModule::PluginDataServiceEvent;
using Client::AppModule::PluginDataServiceResponse;
using Client::AppModule::PluginServiceProxyResponse;

void AddFrameEvent(BindingRegistry& registry, const char* name, const char* description,
                   const char* type_name) {
  BindingEventInfo event;
  event.name = name;
  event.nameSpace = kFrameNameSpace;
  event.description = description;
  event.type = registry.FindTypeByName(type_name);
  (void)registry.AddEvent(std::move(event));
}

}  // namespace

void RegisterFrameTypes(BindingRegistry& registry) {
  DeclareEnum<PluginManagerState>(registry, "PluginManagerState")
      .NameSpace(kFrameNameSpace)
      .Value("NotReady", PluginManagerState::NotReady)
      .Value("PluginsInitialized", PluginManagerState::PluginsInitialized);
  DeclareStructure<PluginManagerResource>(registry, "PluginManagerResource")
      .NameSpace(kFrameNameSpace)
      .Field(ZEK_MEMBER(PluginManagerResource, state), "");
  DeclareEnum<PluginResourceEventType>(registry, "PluginResourceEventType")
      .NameSpace(kFrameNameSpace)
      .Value("Create", PluginResourceEventType::Create)
      .Value("Update", PluginResourceEventType::Update)
      .Value("Delete", PluginResourceEventType::Delete);
  DeclareStructure<PluginResourceEvent>(registry, "PluginResourceEvent")
      .NameSpace(kFrameNameSpace)
      .Field(ZEK_MEMBER(PluginResourceEvent, uri), "")
      .Field(ZEK_MEMBER(PluginResourceEvent, eventType), "")
      .Field(ZEK_MEMBER(PluginResourceEvent, data), "");
  DeclareStructure<PluginDataServiceEvent>(registry, "PluginDataServiceEvent")
      .NameSpace(kFrameNameSpace)
      .Field(ZEK_MEMBER(PluginDataServiceEvent, clientId), "")
      .Field(ZEK_MEMBER(PluginDataServiceEvent, subtopic), "")
      .Field(ZEK_MEMBER(PluginDataServiceEvent, typeName), "")
      .Field(ZEK_MEMBER(PluginDataServiceEvent, body), "");
  DeclareStructure<PluginDataServiceResponse>(registry, "PluginDataServiceResponse")
      .NameSpace(kFrameNameSpace)
      .Field(ZEK_MEMBER(PluginDataServiceResponse, typeName), "")
      .Field(ZEK_MEMBER(PluginDataServiceResponse, body), "");
  DeclareStructure<PluginServiceProxyResponse>(registry, "PluginServiceProxyResponse")
      .NameSpace(kFrameNameSpace)
      .Field(ZEK_MEMBER(PluginServiceProxyResponse, uuid), "")
      .Field(ZEK_MEMBER(PluginServiceProxyResponse, serviceName), "")
      .Field(ZEK_MEMBER(PluginServiceProxyResponse, methodName), "")
      .Field(ZEK_MEMBER(PluginServiceProxyResponse, payload), "")
      .Field(ZEK_MEMBER(PluginServiceProxyResponse, status), "")
      .Field(ZEK_MEMBER(PluginServiceProxyResponse, error), "");
  AddFrameEvent(registry, "OnJsonApiEvent", "Fired when a resource is changed.",
                "PluginResourceEvent");
  AddFrameEvent(registry, "OnDataServiceEvent",
                "Fired when a message is received over the data-service connection.",
                "PluginDataServiceEvent");
  AddFrameEvent(registry, "OnServiceProxyUuidEvent",
                "Fired when a uuid-based service proxy message is received.",
                "PluginServiceProxyResponse");
  AddFrameEvent(registry, "OnServiceProxyMethodEvent",
                "Fired when a method-based service proxy message is received.",
                "PluginServiceProxyResponse");
  AddFrameEvent(registry, "OnServiceProxyAsyncEvent",
                "Fired when an async service proxy message is received.",
                "PluginServiceProxyResponse");
}

}  // namespace Varn

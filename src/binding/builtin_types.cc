#include "binding/builtin_types.h"

#include "binding/binding_record_builder.h"
#include "binding/binding_registry.h"

namespace Varn {

namespace {

constexpr const char* kAsyncTag = "async";
constexpr const char* kHelpTag = "help";

void RegisterAsyncTypes(BindingRegistry& registry) {
  using State = BindingAsyncState;
  DeclareEnum<State>(registry, "BindingAsyncState")
      .NameSpace(kBuiltinNameSpace)
      .Tag(kAsyncTag)
      .Description("Possible states of an asynchronous operation.")
      .Value("None", State::None, "Invalid state")
      .Value("Running", State::Running, "The operation is in flight")
      .Value("Cancelling", State::Cancelling, "A request to cancel the operation has been made")
      .Value("Cancelled", State::Cancelled, "The operation was cancelled")
      .Value("Succeeded", State::Succeeded, "The operation completed successfully")
      .Value("Failed", State::Failed, "The operation encountered an error");

  DeclareStructure<BindingGenericEvent>(registry, "BindingGenericEvent")
      .NameSpace(kBuiltinNameSpace)
      .Description("Represents generic data for an event.")
      .Field(ZEK_MEMBER(BindingGenericEvent, data), "Event data");

  DeclareStructure<BindingCallbackEvent>(registry, "BindingCallbackEvent")
      .NameSpace(kBuiltinNameSpace)
      .Description("Represents the parameters of a call to a provided callback.")
      .Field(ZEK_MEMBER(BindingCallbackEvent, id), "ID of the callback being invoked")
      .Field(ZEK_MEMBER(BindingCallbackEvent, parameters), "Callback parameters");

  DeclareStructure<BindingGenericAsyncEvent>(registry, "BindingGenericAsyncEvent")
      .NameSpace(kBuiltinNameSpace)
      .Tag(kAsyncTag)
      .Description("Represents generic data for an asynchronous event.")
      .Field(ZEK_MEMBER(BindingGenericAsyncEvent, asyncToken), "Asynchronous operation token")
      .Field(ZEK_MEMBER(BindingGenericAsyncEvent, data), "Event data");

  DeclareStructure<BindingAsyncFailureEvent>(registry, "BindingAsyncFailureEvent")
      .NameSpace(kBuiltinNameSpace)
      .Tag(kAsyncTag)
      .Description("Represents a failed asynchronous operation.")
      .Field(ZEK_MEMBER(BindingAsyncFailureEvent, asyncToken), "Asynchronous operation token")
      .Field(ZEK_MEMBER(BindingAsyncFailureEvent, error), "Error message");

  DeclareStructure<BindingAsyncCancelEvent>(registry, "BindingAsyncCancelEvent")
      .NameSpace(kBuiltinNameSpace)
      .Tag(kAsyncTag)
      .Description("Represents a cancelled asynchronous operation.")
      .Field(ZEK_MEMBER(BindingAsyncCancelEvent, asyncToken), "Asynchronous operation token");
}

void RegisterCallbackEvent(BindingRegistry& registry) {
  BindingEventInfo event;
  event.name = "OnCallback";
  event.nameSpace = kBuiltinNameSpace;
  event.description = "Fired when a callback is invoked.";
  event.type = registry.FindTypeByName("BindingCallbackEvent");
  (void)registry.AddEvent(std::move(event));
}

// The records of the API description; their members carry no descriptions.
void RegisterHelpTypes(BindingRegistry& registry) {
  DeclareEnum<BindingHelpFormat>(registry, "BindingHelpFormat")
      .NameSpace(kBuiltinNameSpace)
      .Tag(kHelpTag)
      .Description("Help format for binding functions and types.")
      .Value("Full", BindingHelpFormat::Full, "Native help format")
      .Value("Epytext", BindingHelpFormat::Epytext, "Python epytext format");

  using TypeId = BindingFullTypeIdentifier;
  DeclareStructure<TypeId>(registry, "BindingFullTypeIdentifier")
      .NameSpace(kBuiltinNameSpace)
      .Tag(kHelpTag)
      .Description("Describes the type of a value.")
      .Field(ZEK_MEMBER(TypeId, type), "")
      .Field(ZEK_MEMBER(TypeId, elementType), "");

  using Argument = BindingFullArgumentHelp;
  DeclareStructure<Argument>(registry, "BindingFullArgumentHelp")
      .NameSpace(kBuiltinNameSpace)
      .Tag(kHelpTag)
      .Description("Describes a function parameter.")
      .Field(ZEK_MEMBER(Argument, name), "")
      .Field(ZEK_MEMBER(Argument, description), "")
      .Field(ZEK_MEMBER(Argument, type), "")
      .Field(ZEK_MEMBER(Argument, optional), "");

  using Function = BindingFullFunctionHelp;
  DeclareStructure<Function>(registry, "BindingFullFunctionHelp")
      .NameSpace(kBuiltinNameSpace)
      .Tag(kHelpTag)
      .Description("Describes a function.")
      .Field(ZEK_MEMBER(Function, name), "")
      .Field(ZEK_MEMBER(Function, nameSpace), "")
      .Field(ZEK_MEMBER(Function, returns), "")
      .Field(ZEK_MEMBER(Function, arguments), "")
      .Field(ZEK_MEMBER(Function, description), "")
      .Field(ZEK_MEMBER(Function, help), "")
      .Field(ZEK_MEMBER(Function, threadSafe), "")
      .Field(ZEK_MEMBER(Function, async), "")
      .Field(ZEK_MEMBER(Function, tags), "");

  using EnumValue = BindingFullEnumValueHelp;
  DeclareStructure<EnumValue>(registry, "BindingFullEnumValueHelp")
      .NameSpace(kBuiltinNameSpace)
      .Tag(kHelpTag)
      .Description("Describes an enumerator.")
      .Field(ZEK_MEMBER(EnumValue, name), "")
      .Field(ZEK_MEMBER(EnumValue, value), "")
      .Field(ZEK_MEMBER(EnumValue, description), "");

  using FieldHelp = BindingFullFieldHelp;
  DeclareStructure<FieldHelp>(registry, "BindingFullFieldHelp")
      .NameSpace(kBuiltinNameSpace)
      .Tag(kHelpTag)
      .Description("Describes a member of a struct.")
      .Field(ZEK_MEMBER(FieldHelp, name), "")
      .Field(ZEK_MEMBER(FieldHelp, description), "")
      .Field(ZEK_MEMBER(FieldHelp, type), "")
      .Field(ZEK_MEMBER(FieldHelp, offset), "")
      .Field(ZEK_MEMBER(FieldHelp, optional), "");

  using TypeHelp = BindingFullTypeHelp;
  DeclareStructure<TypeHelp>(registry, "BindingFullTypeHelp")
      .NameSpace(kBuiltinNameSpace)
      .Tag(kHelpTag)
      .Description("Describes a struct or enum type.")
      .Field(ZEK_MEMBER(TypeHelp, name), "")
      .Field(ZEK_MEMBER(TypeHelp, nameSpace), "")
      .Field(ZEK_MEMBER(TypeHelp, size), "")
      .Field(ZEK_MEMBER(TypeHelp, description), "")
      .Field(ZEK_MEMBER(TypeHelp, tags), "")
      .Field(ZEK_MEMBER(TypeHelp, fields), "")
      .Field(ZEK_MEMBER(TypeHelp, values), "");

  using EventHelp = BindingFullEventHelp;
  DeclareStructure<EventHelp>(registry, "BindingFullEventHelp")
      .NameSpace(kBuiltinNameSpace)
      .Tag(kHelpTag)
      .Description("Describes an event.")
      .Field(ZEK_MEMBER(EventHelp, name), "")
      .Field(ZEK_MEMBER(EventHelp, nameSpace), "")
      .Field(ZEK_MEMBER(EventHelp, type), "")
      .Field(ZEK_MEMBER(EventHelp, description), "")
      .Field(ZEK_MEMBER(EventHelp, tags), "");

  using Api = BindingFullApiHelp;
  DeclareStructure<Api>(registry, "BindingFullApiHelp")
      .NameSpace(kBuiltinNameSpace)
      .Tag(kHelpTag)
      .Description("Describes the exposed native API.")
      .Field(ZEK_MEMBER(Api, functions), "")
      .Field(ZEK_MEMBER(Api, types), "")
      .Field(ZEK_MEMBER(Api, events), "");
}

}  // namespace

void RegisterBuiltinTypes(BindingRegistry& registry) {
  RegisterAsyncTypes(registry);
  RegisterCallbackEvent(registry);
  RegisterHelpTypes(registry);
}

}  // namespace Varn

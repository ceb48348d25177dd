// The "$builtin" types every plugin's registry starts with: the states and events of
// asynchronous operations, the callback event and its "OnCallback" event, and the records in
// which a plugin's API is described to the host.
#ifndef ZEK_BINDING_BUILTIN_TYPES_H_
#define ZEK_BINDING_BUILTIN_TYPES_H_

#include <cstdint>
#include <string>
#include <vector>

#include "binding/binding_property.h"

namespace Varn {

class BindingRegistry;

inline constexpr const char* kBuiltinNameSpace = "$builtin";

enum class BindingAsyncState : int32_t {
  None = 0,
  Running = 1,
  Cancelling = 2,
  Cancelled = 3,
  Succeeded = 4,
  Failed = 5,
};

struct BindingGenericEvent {
  BindingProperty data;
};

struct BindingCallbackEvent {
  uint32_t id = 0;
  std::vector<BindingProperty> parameters;
};

struct BindingGenericAsyncEvent {
  uint32_t asyncToken = 0;
  BindingProperty data;
};

struct BindingAsyncFailureEvent {
  uint32_t asyncToken = 0;
  std::string error;
};

struct BindingAsyncCancelEvent {
  uint32_t asyncToken = 0;
};

enum class BindingHelpFormat : int32_t {
  Full = 1,
  Epytext = 2,
};

struct BindingFullTypeIdentifier {
  std::string type;
  std::string elementType;
};

struct BindingFullArgumentHelp {
  std::string name;
  std::string description;
  BindingFullTypeIdentifier type;
  bool optional = false;
};

struct BindingFullFunctionHelp {
  std::string name;
  std::string nameSpace;
  BindingFullTypeIdentifier returns;
  std::vector<BindingFullArgumentHelp> arguments;
  std::string description;
  std::string help;
  bool threadSafe = false;
  std::string async;
  std::vector<std::string> tags;
};

struct BindingFullEnumValueHelp {
  std::string name;
  int32_t value = 0;
  std::string description;
};

struct BindingFullFieldHelp {
  std::string name;
  std::string description;
  BindingFullTypeIdentifier type;
  uint32_t offset = 0;  // byte offset in the native record
  bool optional = false;
};

struct BindingFullTypeHelp {
  std::string name;
  std::string nameSpace;
  uint32_t size = 0;  // native size in bytes
  std::string description;
  std::vector<std::string> tags;
  std::vector<BindingFullFieldHelp> fields;
  std::vector<BindingFullEnumValueHelp> values;
};

struct BindingFullEventHelp {
  std::string name;
  std::string nameSpace;
  std::string type;  // the payload type's name
  std::string description;
  std::vector<std::string> tags;
};

struct BindingFullApiHelp {
  std::vector<BindingFullFunctionHelp> functions;
  std::vector<BindingFullTypeHelp> types;
  std::vector<BindingFullEventHelp> events;
};

// Registers the types above and the "OnCallback" event. Runs in every registry's constructor;
// a second call adds nothing.
void RegisterBuiltinTypes(BindingRegistry& registry);

}  // namespace Varn

#endif  // ZEK_BINDING_BUILTIN_TYPES_H_

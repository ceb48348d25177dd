// BindingFunctionInfo: a function a plugin serves, described for the API description. The route
// table keeps its own dispatch state; this is what the registry publishes about each function.
#ifndef ZEK_BINDING_BINDING_FUNCTION_INFO_H_
#define ZEK_BINDING_BINDING_FUNCTION_INFO_H_

#include <cstdint>
#include <string>
#include <vector>

#include "binding/binding_type_info.h"
#include "binding/native_kind.h"

namespace Varn {

// The type of an argument or of a return value.
struct BindingValueType {
  NativeKind kind = NativeKind::None;
  NativeKind elementKind = NativeKind::None;  // vector and map
  const BindingTypeInfo* typeInfo = nullptr;  // enum and struct, or their elements
};

struct BindingArgumentInfo {
  std::string name;
  std::string description;
  BindingValueType type;
  bool optional = false;
  // Where a request may carry it: 0 any, 1 query, 2 path, 4 named argument, 5 body.
  uint32_t location = 0;
};

struct BindingFunctionInfo {
  std::string name;
  std::string nameSpace;
  std::string description;
  std::string help;
  std::vector<std::string> tags;
  BindingValueType returns;
  std::vector<BindingArgumentInfo> arguments;  // declaration order
  bool threadSafe = false;
  std::string async;
};

}  // namespace Varn

#endif  // ZEK_BINDING_BINDING_FUNCTION_INFO_H_

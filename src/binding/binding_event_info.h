// BindingEventInfo: an event a plugin publishes, described for the API description.
#ifndef ZEK_BINDING_BINDING_EVENT_INFO_H_
#define ZEK_BINDING_BINDING_EVENT_INFO_H_

#include <string>
#include <vector>

#include "binding/binding_type_info.h"

namespace Varn {

struct BindingEventInfo {
  std::string name;
  std::string nameSpace;
  std::string description;
  std::vector<std::string> tags;
  const BindingTypeInfo* type = nullptr;  // the payload record; owned by the same registry
};

}  // namespace Varn

#endif  // ZEK_BINDING_BINDING_EVENT_INFO_H_

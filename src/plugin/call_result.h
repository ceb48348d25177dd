// CallResult: what a client call to another service gives back. Failures are values: a call
// never throws, and the caller decides whether to log.
#ifndef ZEK_PLUGIN_CALL_RESULT_H_
#define ZEK_PLUGIN_CALL_RESULT_H_

#include <cstdint>
#include <optional>
#include <string>

#include "binding/binding_property.h"

namespace Varn {

struct CallResult {
  // 0 on success; the response's status for an error response; 400 when nothing was sent.
  uint32_t status = 0;
  bool error = false;
  std::string message;  // set with `error`
  // The response value, decoded from the boundary form; Empty on error.
  BindingProperty value;
};

// A typed call's result: `data` holds the response converted to T, present only without error.
template <class T>
struct TypedCallResult : CallResult {
  std::optional<T> data;
};

}  // namespace Varn

#endif  // ZEK_PLUGIN_CALL_RESULT_H_

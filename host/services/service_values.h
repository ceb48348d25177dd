// Helpers the stand-in services share: a request's value wherever the caller put it, and values
// as the JSON text the store keeps.
#ifndef ZEK_HOST_SERVICES_SERVICE_VALUES_H_
#define ZEK_HOST_SERVICES_SERVICE_VALUES_H_

#include <string>
#include <string_view>

#include "binding/binding_property.h"
#include "host/runtime/host_runtime.h"

namespace Varn::Host {

// Where the login session is kept: the cloud reads the account of the current session from it.
inline constexpr std::string_view kStateScope = "state";
inline constexpr std::string_view kSessionKey = "login-session";

// The request's value: the named argument `argument` when a plugin sent one; else the body as
// JSON (an HTTP caller); else the one named argument there is; else Empty. A body that is not
// JSON fails with 400, one of another content type with 415; `refusal` then holds the answer.
bool RequestValue(const ServiceRequest& request, std::string_view argument, BindingProperty& value,
                  ServiceAnswer& refusal);

// `value` as compact JSON, and back (an absent or unreadable text gives Empty).
std::string ToJson(const BindingProperty& value);
BindingProperty FromJson(std::string_view json);

ServiceAnswer ValueAnswer(BindingProperty value);
ServiceAnswer NoContent();
ServiceAnswer ErrorAnswer(uint32_t status, std::string message);

// Milliseconds since 1970 on the wall clock.
uint64_t NowMilliseconds();

}  // namespace Varn::Host

#endif  // ZEK_HOST_SERVICES_SERVICE_VALUES_H_

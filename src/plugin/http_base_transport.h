// The request information a route handler may ask for: what the caller sent, copied out of the
// boundary request record so that it stays valid for the whole handler call.
#ifndef ZEK_PLUGIN_HTTP_BASE_TRANSPORT_H_
#define ZEK_PLUGIN_HTTP_BASE_TRANSPORT_H_

#include <chrono>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

namespace Varn::HttpBaseTransport {

// Views into the boundary request record; valid for the duration of the handler call.
struct Request {
  uint32_t method = 0;
  std::string_view path;          // with any query string
  std::string_view functionName;  // the function that serves the call
  std::vector<std::pair<std::string_view, std::string_view>> headers;
  uint32_t callerHandle = 0;
  std::chrono::steady_clock::time_point receiveTime;
};

}  // namespace Varn::HttpBaseTransport

#endif  // ZEK_PLUGIN_HTTP_BASE_TRANSPORT_H_

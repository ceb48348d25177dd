// HttpFront: zek-host's HTTP server on 127.0.0.1 (cpp-httplib). Every request must name the
// host as "127.0.0.1:<port>" or "localhost:<port>" (else 403, which keeps pages of other sites
// that rebind a name to 127.0.0.1 out) and log in with Basic "zek:<token>" (else 401); a body
// above the limit is refused with 413 before it is read. No CORS headers are sent, so browsers
// keep other origins' scripts from reading answers.
//
// A request goes into a PluginRequest unchanged (method, target with query, headers, content
// type, body) and is routed by the host runtime on its host thread: plugin functions first, then
// the stand-in services, else 404. A value answers 200 with JSON, success without a value 204,
// an error its status (400 when it carries none) with {"httpStatus": N, "message": "..."}.
// GET /help, /openapi.json and /events are the host's own.
#ifndef ZEK_HOST_ZEK_HOST_HTTP_FRONT_H_
#define ZEK_HOST_ZEK_HOST_HTTP_FRONT_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "host/runtime/host_runtime.h"
#include "host/zek_host/access_token.h"
#include "host/zek_host/event_stream.h"
#include "host/zek_host/host_log.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace Varn::Host {

struct HttpFrontConfig {
  uint16_t port = 0;  // 0: a free one
  size_t maxBody = 0;
  std::string token;
  std::string helpJson;     // GET /help
  std::string openApiJson;  // GET /openapi.json; may be set after Bind, before Serve
};

class HttpFront {
 public:
  // REQUIRES: the runtime, stream and log outlive the front.
  HttpFront(HostRuntime& runtime, EventStream& events, HostLog& log, HttpFrontConfig config);
  ~HttpFront();

  // Binds 127.0.0.1 and the port. False with `error` set when it cannot.
  bool Bind(std::string& error);
  uint16_t Port() const { return port_; }
  // Set before Serve.
  void SetHelp(std::string json) { config_.helpJson = std::move(json); }
  void SetOpenApi(std::string json) { config_.openApiJson = std::move(json); }
  // Serves until Stop; call on a thread of its own.
  void Serve();
  // Stops accepting and ends the connections; Serve returns. Call once Serve has been started on
  // its thread, even if it may not have begun to listen yet.
  void Stop();

 private:
  void Install();
  void Dispatch(const httplib::Request& req, const std::string& body, httplib::Response& res);

  HostRuntime& runtime_;
  EventStream& events_;
  HostLog& log_;
  HttpFrontConfig config_;
  BasicAuthCheck auth_;
  std::unique_ptr<httplib::Server> server_;
  // A stop can come before Serve has entered its accept loop (a signal right after start), and
  // httplib's stop only ends a loop that is already running: these let the two meet.
  std::atomic<bool> stopRequested_{false};
  std::atomic<bool> serveDone_{false};
  uint16_t port_ = 0;
  // The two Host headers accepted, set before serving.
  std::string hostByAddress_;
  std::string hostByName_;
};

}  // namespace Varn::Host

#endif  // ZEK_HOST_ZEK_HOST_HTTP_FRONT_H_

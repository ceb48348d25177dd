// RouteContext: a handler's call context. The handler reads the request through it and answers
// with a status, an error message, reply text, headers and an encoding; the frame copies these
// into the response record after the handler returns.
#ifndef ZEK_PLUGIN_ROUTE_CONTEXT_H_
#define ZEK_PLUGIN_ROUTE_CONTEXT_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "plugin/http_base_transport.h"

namespace Varn {

class BindingRegistry;

class RouteContext {
 public:
  static constexpr uint32_t kOk = 200;

  RouteContext(const HttpBaseTransport::Request& request, const BindingRegistry* registry)
      : request_(request), registry_(registry) {}
  RouteContext(const RouteContext&) = delete;
  RouteContext& operator=(const RouteContext&) = delete;

  const HttpBaseTransport::Request& Request() const { return request_; }
  // The plugin's types, for converting records and enumerations; may be null.
  const BindingRegistry* Registry() const { return registry_; }

  // Marks the call failed: the response carries `message` as its error text and `status`.
  void Fail(uint32_t status, std::string message) {
    status_ = status;
    error_ = std::move(message);
    failed_ = true;
  }
  bool Failed() const { return failed_; }
  const std::string& Error() const { return error_; }

  uint32_t Status() const { return status_; }
  void SetStatus(uint32_t status) { status_ = status; }
  // Text handed to the host beside the value.
  const std::string& ReplyText() const { return replyText_; }
  void SetReplyText(std::string text) { replyText_ = std::move(text); }
  uint32_t Encoding() const { return encoding_; }
  void SetEncoding(uint32_t encoding) { encoding_ = encoding; }
  bool ResultFlag() const { return resultFlag_; }
  void SetResultFlag(bool flag) { resultFlag_ = flag; }
  const std::vector<std::pair<std::string, std::string>>& Headers() const { return headers_; }
  void AddHeader(std::string name, std::string value) {
    headers_.emplace_back(std::move(name), std::move(value));
  }

 private:
  const HttpBaseTransport::Request& request_;
  const BindingRegistry* registry_;
  uint32_t status_ = kOk;
  std::string error_;
  bool failed_ = false;
  std::string replyText_;
  uint32_t encoding_ = 0;
  bool resultFlag_ = false;
  std::vector<std::pair<std::string, std::string>> headers_;
};

}  // namespace Varn

#endif  // ZEK_PLUGIN_ROUTE_CONTEXT_H_

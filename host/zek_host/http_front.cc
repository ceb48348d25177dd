#include "host/zek_host/http_front.h"

#include <httplib.h>

#include <chrono>
#include <string_view>
#include <thread>
#include <vector>

#include "binding/binding_property.h"
#include "binding/reason_phrase.h"
#include "cell_json/cell_json_renderer.h"
#include "host/runtime/path_template.h"

namespace Varn::Host {
namespace {

constexpr const char* kJsonType = "application/json";
constexpr int kWorkerThreads = 64;
constexpr time_t kKeepAliveSeconds = 5;
constexpr size_t kKeepAliveRequests = 1000000;
constexpr auto kEventPing = std::chrono::seconds(15);
constexpr std::string_view kEventsPath = "/events";

uint32_t MethodCode(std::string_view method) {
  if (method == "GET") return PLUGIN_METHOD_GET;
  if (method == "POST") return PLUGIN_METHOD_POST;
  if (method == "PUT") return PLUGIN_METHOD_PUT;
  if (method == "PATCH") return PLUGIN_METHOD_PATCH;
  if (method == "DELETE") return PLUGIN_METHOD_DELETE;
  if (method == "HEAD") return PLUGIN_METHOD_HEAD;
  if (method == "OPTIONS") return PLUGIN_METHOD_OPTIONS;
  return PLUGIN_METHOD_NONE;
}

std::string JsonString(std::string_view text) {
  PluginCell cell{};
  cell.kind = PLUGIN_CELL_STRING_REF;
  std::string copy(text);
  cell.payload.string.text = copy.c_str();
  cell.payload.string.length = copy.size();
  return RenderCellJson(cell);
}

void SetError(httplib::Response& res, int status, std::string_view message) {
  res.status = status;
  // 304 and 1xx carry no body.
  if (status == 304) return;
  res.set_content(
      "{\"httpStatus\":" + std::to_string(status) + ",\"message\":" + JsonString(message) + "}",
      kJsonType);
}

std::string_view Reason(int status) {
  std::optional<std::string_view> phrase = ReasonPhrase(status);
  return phrase.has_value() ? *phrase : std::string_view("Error");
}

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

// Reads a streamed answer to its end. False when a read fails.
bool ReadStream(const PluginResponse& response, std::string& body) {
  uint8_t piece[16384];
  bool ok = true;
  for (;;) {
    size_t length = 0;
    uint8_t more = 0;
    if (response.streamRead(response.stream, piece, sizeof piece, &length, &more) == 0) {
      ok = false;
      break;
    }
    body.append(reinterpret_cast<const char*>(piece), std::min(length, sizeof piece));
    if (more == 0) break;
  }
  if (response.streamRelease != nullptr) response.streamRelease(response.stream);
  return ok;
}

}  // namespace

HttpFront::HttpFront(HostRuntime& runtime, EventStream& events, HostLog& log,
                     HttpFrontConfig config)
    : runtime_(runtime),
      events_(events),
      log_(log),
      config_(std::move(config)),
      auth_(config_.token),
      server_(std::make_unique<httplib::Server>()) {}

HttpFront::~HttpFront() = default;

bool HttpFront::Bind(std::string& error) {
  Install();
  if (config_.port == 0) {
    int port = server_->bind_to_any_port("127.0.0.1");
    if (port <= 0) {
      error = "cannot listen on 127.0.0.1";
      return false;
    }
    port_ = static_cast<uint16_t>(port);
    return true;
  }
  if (!server_->bind_to_port("127.0.0.1", config_.port)) {
    error = "cannot listen on 127.0.0.1:" + std::to_string(config_.port) +
            " (in use? try another --port, or 0 for a free one)";
    return false;
  }
  port_ = config_.port;
  return true;
}

void HttpFront::Serve() {
  hostByAddress_ = "127.0.0.1:" + std::to_string(port_);
  hostByName_ = "localhost:" + std::to_string(port_);
  if (!stopRequested_) server_->listen_after_bind();
  serveDone_ = true;
}

void HttpFront::Stop() {
  stopRequested_ = true;
  // Serve either sees the request and returns, or is entering its loop and soon runs.
  while (!serveDone_) {
    if (server_->is_running()) {
      server_->stop();
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

void HttpFront::Install() {
  httplib::Server& server = *server_;
  server.new_task_queue = [] { return new httplib::ThreadPool(kWorkerThreads); };
  server.set_tcp_nodelay(true);
  server.set_keep_alive_timeout(kKeepAliveSeconds);
  server.set_keep_alive_max_count(kKeepAliveRequests);
  server.set_payload_max_length(config_.maxBody);

  // Everything is decided here, before httplib reads a body: the refusals, and whole answers to
  // requests that carry none.
  server.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
    std::string host = Lower(req.get_header_value("Host"));
    if (host != hostByAddress_ && host != hostByName_) {
      SetError(res, 403, "The Host header must be " + hostByAddress_ + " or " + hostByName_);
      return httplib::Server::HandlerResponse::Handled;
    }
    if (!auth_.Accepts(req.get_header_value("Authorization"))) {
      res.set_header("WWW-Authenticate", "Basic realm=\"zek-host\"");
      SetError(res, 401,
               "Log in with user \"zek\" and the token zek-host printed (also in "
               "<install-dir>/lockfile)");
      return httplib::Server::HandlerResponse::Handled;
    }
    if (req.has_header("Content-Length") &&
        req.get_header_value<uint64_t>("Content-Length") > config_.maxBody) {
      // The body stays unread, so the connection cannot carry another request.
      res.set_header("Connection", "close");
      SetError(res, 413,
               "The body is larger than " + std::to_string(config_.maxBody) +
                   " bytes (zek-host --max-body)");
      return httplib::Server::HandlerResponse::Handled;
    }
    if (req.method != "GET" && req.method != "HEAD") {
      return httplib::Server::HandlerResponse::Unhandled;
    }
    std::string_view path = SplitPathAndQuery(req.target).first;
    if (req.method == "GET" && path == "/help") {
      res.set_content(config_.helpJson, kJsonType);
    } else if (req.method == "GET" && path == "/openapi.json") {
      res.set_content(config_.openApiJson, kJsonType);
    } else if (req.method == "GET" && path == kEventsPath) {
      std::string prefix = QueryParameter(SplitPathAndQuery(req.target).second, "prefix");
      auto reader = events_.Open(std::move(prefix));
      res.set_header("Cache-Control", "no-cache");
      res.set_chunked_content_provider(
          "text/event-stream",
          [reader, first = true](size_t, httplib::DataSink& sink) mutable {
            if (first) {
              first = false;
              static constexpr std::string_view kHello = ": connected\n\n";
              return sink.write(kHello.data(), kHello.size());
            }
            std::vector<std::string> batch;
            switch (reader->Next(std::chrono::duration_cast<std::chrono::milliseconds>(kEventPing),
                                 batch)) {
              case EventStream::Reader::Wait::kEvents:
                for (const std::string& message : batch) {
                  if (!sink.write(message.data(), message.size())) return false;
                }
                return true;
              case EventStream::Reader::Wait::kTimeout: {
                static constexpr std::string_view kPing = ": ping\n\n";
                return sink.write(kPing.data(), kPing.size());
              }
              case EventStream::Reader::Wait::kClosed:
                sink.done();
                return true;
              case EventStream::Reader::Wait::kDropped:
                return false;
            }
            return false;
          },
          [this, reader](bool) { events_.Close(reader); });
    } else {
      Dispatch(req, req.body, res);
    }
    return httplib::Server::HandlerResponse::Handled;
  });

  // Bodies are read here, piece by piece, so that a chunked body (which announces no length)
  // is cut off at the limit too.
  auto dispatch = [this](const httplib::Request& req, httplib::Response& res,
                         const httplib::ContentReader& content) {
    if (req.is_multipart_form_data()) {
      res.set_header("Connection", "close");
      SetError(res, 415, "Multipart bodies are not taken; send JSON, YAML or MessagePack");
      return;
    }
    std::string body;
    bool too_large = false;
    bool read = content([&](const char* data, size_t length) {
      if (body.size() + length > config_.maxBody) {
        too_large = true;
        return false;
      }
      body.append(data, length);
      return true;
    });
    if (too_large) {
      res.set_header("Connection", "close");
      SetError(res, 413,
               "The body is larger than " + std::to_string(config_.maxBody) +
                   " bytes (zek-host --max-body)");
      return;
    }
    if (!read) {
      res.set_header("Connection", "close");
      SetError(res, 400, "The body could not be read");
      return;
    }
    Dispatch(req, body, res);
  };
  server.Post(".*", httplib::Server::HandlerWithContentReader(dispatch));
  server.Put(".*", httplib::Server::HandlerWithContentReader(dispatch));
  server.Patch(".*", httplib::Server::HandlerWithContentReader(dispatch));
  server.Delete(".*", httplib::Server::HandlerWithContentReader(dispatch));
  server.Options(".*", [this](const httplib::Request& req, httplib::Response& res) {
    Dispatch(req, req.body, res);
  });

  // Answers httplib makes itself (413 of a chunked body, 400 of a bad request) get the JSON form.
  server.set_error_handler([](const httplib::Request&, httplib::Response& res) {
    if (res.body.empty() && res.status != 304) SetError(res, res.status, Reason(res.status));
  });
  server.set_exception_handler(
      [this](const httplib::Request&, httplib::Response& res, std::exception_ptr error) {
        std::string message = "Unknown error";
        try {
          if (error) std::rethrow_exception(error);
        } catch (const std::exception& e) {
          message = e.what();
        } catch (...) {
        }
        log_.Error("request failed: " + message);
        SetError(res, 500, message);
      });
}

void HttpFront::Dispatch(const httplib::Request& req, const std::string& body,
                         httplib::Response& res) {
  std::vector<PluginHeader> headers;
  headers.reserve(req.headers.size());
  for (const auto& [name, value] : req.headers) headers.push_back({name.c_str(), value.c_str()});
  std::string content_type = req.get_header_value("Content-Type");
  PluginRequest request{};
  request.method = MethodCode(req.method);
  request.path = req.target.c_str();
  request.headers = headers.empty() ? nullptr : headers.data();
  request.headerCount = headers.size();
  request.contentType = content_type.c_str();
  request.body = reinterpret_cast<const uint8_t*>(body.data());
  request.bodyLength = body.size();
  runtime_.Exchange(request, [&](const PluginResponse& response) {
    if (response.result.failed != 0 || response.result.errorText != nullptr) {
      int status =
          response.status >= 300 && response.status < 600 ? static_cast<int>(response.status) : 400;
      SetError(res, status,
               response.result.errorText != nullptr ? response.result.errorText : Reason(status));
      return;
    }
    if (response.streamRead != nullptr) {
      std::string body;
      if (!ReadStream(response, body)) {
        SetError(res, 502, "The answer's stream broke off");
        return;
      }
      res.status = 200;
      res.body = std::move(body);
      res.set_header("Content-Type", kJsonType);
      return;
    }
    if (response.result.value.kind == PLUGIN_CELL_EMPTY) {
      res.status = 204;
      return;
    }
    // Moved, not copied as set_content would.
    res.status = 200;
    res.body = RenderCellJson(response.result.value);
    res.set_header("Content-Type", kJsonType);
  });
}

}  // namespace Varn::Host

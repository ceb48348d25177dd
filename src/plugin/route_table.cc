#include "plugin/route_table.h"

#include <algorithm>
#include <array>
#include <exception>
#include <limits>
#include <span>

#include "binding/binding_registry.h"
#include "binding/heap.h"
#include "binding/message_format.h"
#include "plugin/body_decoder.h"
#include "plugin/frame_log.h"
#include "plugin/function_name.h"
#include "plugin/query_string.h"

namespace Varn {
namespace {

// Leading literal segments that take part in the index; deeper ones are compared by the matcher.
constexpr size_t kIndexDepth = 3;
constexpr uint32_t kBadRequest = 400;
constexpr uint32_t kNotFound = 404;
constexpr uint32_t kInternalError = 500;
constexpr size_t kMaxIndex = 0x0FFFFFFF;
constexpr std::string_view kValueRequired = "A value for '%1' is required.";

// The reply text of a response without one; never freed.
constexpr char kNoReplyText[] = "";

char* Duplicate(std::string_view text) { return HeapDuplicateString(text.data(), text.size()); }

void ReleaseResponse(PluginResponse* response) {
  if (response == nullptr) return;
  BindingProperty::ReleaseBoundary(response->result.value);
  HeapFree(response->result.errorText);
  if (response->replyText != kNoReplyText) HeapFree(const_cast<char*>(response->replyText));
  if (response->headers != nullptr) {
    for (size_t i = 0; i < response->headerCount; ++i) {
      HeapFree(const_cast<char*>(response->headers[i].name));
      HeapFree(const_cast<char*>(response->headers[i].value));
    }
    HeapFree(const_cast<PluginHeader*>(response->headers));
  }
  if (response->streamRelease != nullptr && response->stream != nullptr) {
    response->streamRelease(response->stream);
  }
  *response = PluginResponse{};
}

void ResetResponse(PluginResponse* response) {
  *response = PluginResponse{};
  response->replyText = kNoReplyText;
  response->release = &ReleaseResponse;
}

void FailResponse(PluginResponse* response, uint32_t status, std::string_view message) {
  response->result.errorText = Duplicate(message);
  response->result.failed = 1;
  response->status = status;
}

// A source name: "name" or "name[index]" for one element of a list parameter.
struct SourceName {
  std::string_view base;
  std::string_view index;
  bool indexed = false;
};

SourceName ParseSourceName(std::string_view name) {
  SourceName parsed{name, {}, false};
  size_t open = name.find('[');
  if (open != std::string_view::npos && name.back() == ']' && open + 1 < name.size()) {
    parsed.base = name.substr(0, open);
    parsed.index = name.substr(open + 1, name.size() - open - 2);
    parsed.indexed = true;
  }
  return parsed;
}

// Binds one request's values to one function's parameters; the first error wins. Values live as
// elements of `scratch` (one arena for all of them), the body in a tree of its own; `slots`
// receives a pointer per parameter, null for those the request did not give.
class Binder {
 public:
  Binder(const RouteFunction& function, BindingProperty& scratch, BindingProperty& body,
         std::span<const BindingProperty*> slots)
      : function_(function), scratch_(scratch), body_(body), slots_(slots) {
    if (!slots.empty()) scratch_.At(slots.size() - 1);  // sized once: element addresses hold
  }

  BindingResult Bind(const PluginRequest& request, std::string_view query,
                     std::span<const std::string_view> captures) {
    const auto& params = function_.parameters;
    // Named arguments arrive as values already; they only need a matching parameter.
    for (size_t i = 0; i < request.argumentCount && request.arguments != nullptr; ++i) {
      const PluginNamedArgument& argument = request.arguments[i];
      std::string_view name = argument.name != nullptr ? argument.name : "";
      BindingProperty* slot = nullptr;
      if (!Target(name, ParameterLocation::Named, slot)) return std::move(result_);
      if (slot == nullptr) continue;
      PluginBoundaryResult converted{};
      if (!BindingProperty::FromBoundary(converted, *slot, argument.value, name)) {
        std::string message = converted.errorText != nullptr ? converted.errorText : "";
        HeapFree(converted.errorText);
        return BindingResult::Error(message);
      }
    }
    if (request.body != nullptr && request.bodyLength > 0) {
      for (size_t p = 0; p < params.size(); ++p) {
        if (params[p].location != ParameterLocation::Body) continue;
        std::string_view type = request.contentType != nullptr ? request.contentType : "";
        BindingResult body =
            DecodeBody(type, {request.body, request.bodyLength}, params[p].name, function_.name);
        if (!body.IsOk()) return body;
        body_ = std::move(body.value);
        slots_[p] = &body_;
        break;
      }
    }
    const auto& names = function_.pattern.ParameterNames();
    for (size_t c = 0; c < captures.size() && c < names.size(); ++c) {
      if (!BindText(names[c], captures[c], ParameterLocation::Path)) return std::move(result_);
    }
    if (!query.empty()) {
      for (const auto& [name, value] : SplitQuery(query)) {
        if (!BindText(name, value, ParameterLocation::Query)) return std::move(result_);
      }
    }
    for (size_t p = 0; p < params.size(); ++p) {
      if (slots_[p] == nullptr && !params[p].optional) {
        return BindingResult::Error(FormatMessage(kValueRequired, params[p].name));
      }
    }
    return BindingResult();
  }

 private:
  // Finds where `name` goes. Returns false with the error set; a null slot means the whole
  // parameter was given already by a source read earlier, which keeps it. `parameter` receives
  // the parameter's position and `indexed` whether the slot is one element of a list.
  bool Target(std::string_view name, ParameterLocation location, BindingProperty*& slot) {
    slot = nullptr;
    indexed_ = false;
    SourceName source = ParseSourceName(name);
    size_t p = Find(source.base);
    if (p == kNone || (source.indexed && function_.parameters[p].shape != ValueShape::kList)) {
      source = {name, {}, false};
      p = Find(name);
    }
    if (p == kNone) return Fail(FormatMessage(kUnknownArgument, name, function_.name));
    const RouteParameter& param = function_.parameters[p];
    if (param.location != ParameterLocation::Any && param.location != location) {
      return Fail(FormatMessage(kInvalidLocation, name, function_.name));
    }
    parameter_ = p;
    BindingProperty& value = scratch_.At(p);
    if (!source.indexed) {
      if (slots_[p] != nullptr) return true;
      slots_[p] = &value;
      slot = &value;
      return true;
    }
    size_t index = 0;
    bool digits = !source.index.empty() && source.index.size() <= 10;
    for (char c : source.index) {
      if (c < '0' || c > '9') digits = false;
      if (digits) index = index * 10 + static_cast<size_t>(c - '0');
    }
    if (!digits) return Fail(FormatMessage(kIndexFormat, source.index));
    value.MakeCollection();
    // Elements come in order: an index names an existing element or the next one.
    if (index > value.Size() || index > kMaxIndex) {
      return Fail(FormatMessage(kIndexRange, source.index));
    }
    slots_[p] = &value;
    slot = &value.At(index);
    indexed_ = true;
    return true;
  }

  bool BindText(std::string_view name, std::string_view text, ParameterLocation location) {
    BindingProperty* slot = nullptr;
    if (!Target(name, location, slot)) return false;
    if (slot == nullptr) return true;
    if (indexed_) {
      slot->SetString(text);
      return true;
    }
    const RouteParameter& param = function_.parameters[parameter_];
    if (text.empty()) {
      switch (param.shape) {
        case ValueShape::kBool:
          slot->SetBool(true);
          return true;
        case ValueShape::kString:
          slot->SetString("");
          return true;
        case ValueShape::kList:
          slot->MakeCollection();
          return true;
        case ValueShape::kOther:
          return Fail(FormatMessage(kExpectedValue, param.name));
      }
    }
    BindingResult decoded = DecodeTextValue(text, param.name, function_.name, *slot);
    if (!decoded.IsOk()) {
      result_ = std::move(decoded);
      return false;
    }
    return true;
  }

  static constexpr size_t kNone = std::numeric_limits<size_t>::max();
  size_t Find(std::string_view name) const {
    const auto& params = function_.parameters;
    for (size_t p = 0; p < params.size(); ++p) {
      if (params[p].name == name) return p;
    }
    return kNone;
  }

  bool Fail(std::string message) {
    result_.SetError(message);
    return false;
  }

  const RouteFunction& function_;
  BindingProperty& scratch_;
  BindingProperty& body_;
  std::span<const BindingProperty*> slots_;
  BindingResult result_;
  size_t parameter_ = 0;
  bool indexed_ = false;
};

// Bound values of the calls in progress on this thread. A handler may serve a nested request
// (a client call into its own plugin), so each nesting depth has its own trees. The trees keep an
// arena from call to call, so a request does not return its arena's pages to the page pool and
// take them back on the next call.
class ScratchValues {
 public:
  ScratchValues() {
    thread_local std::vector<std::unique_ptr<Trees>> trees;
    thread_local size_t depth = 0;
    depth_ = &depth;
    if (trees.size() <= depth) trees.push_back(std::make_unique<Trees>());
    trees_ = trees[depth].get();
    ++depth;
  }
  ~ScratchValues() {
    trees_->values.Reset();
    trees_->body.Reset();
    --*depth_;
  }
  BindingProperty& Values() { return trees_->values; }
  // Free-standing: a decoded body is moved in by exchanging arenas.
  BindingProperty& Body() { return trees_->body; }

 private:
  struct Trees {
    BindingProperty values;
    BindingProperty body;
  };
  Trees* trees_;
  size_t* depth_;
};

// Why `function` cannot be served as declared, or empty. A mismatch here would otherwise fail
// every request to the function, or bind arguments to the wrong parameters.
std::string WhyRefused(const RouteFunction& function, std::string_view unconvertible) {
  const std::string& name = function.name;
  const RouteSignature& signature = function.signature;
  const std::vector<RouteParameter>& params = function.parameters;
  if (params.size() != signature.types.size()) {
    return FormatMessage(kArityMismatch, name, params.size(), signature.types.size());
  }
  if (!unconvertible.empty()) return std::string(unconvertible);
  size_t bodies = 0;
  const std::vector<std::string>& captured = function.pattern.ParameterNames();
  for (size_t p = 0; p < params.size(); ++p) {
    for (size_t q = 0; q < p; ++q) {
      if (params[q].name == params[p].name) {
        return FormatMessage(kDuplicateParameter, name, params[p].name);
      }
    }
    if (params[p].location == ParameterLocation::Body && ++bodies > 1) {
      return FormatMessage(kSecondBody, name);
    }
    if (params[p].location == ParameterLocation::Path &&
        std::find(captured.begin(), captured.end(), params[p].name) == captured.end()) {
      return FormatMessage(kUncapturedPath, name, params[p].name);
    }
  }
  for (const std::string& capture : captured) {
    auto it = std::find_if(params.begin(), params.end(),
                           [&](const RouteParameter& param) { return param.name == capture; });
    if (it == params.end() ||
        (it->location != ParameterLocation::Path && it->location != ParameterLocation::Any)) {
      return FormatMessage(kUndeclaredCapture, name, capture);
    }
  }
  return {};
}

void FillHeaders(PluginResponse* response,
                 const std::vector<std::pair<std::string, std::string>>& headers) {
  if (headers.empty()) return;
  auto* array = static_cast<PluginHeader*>(HeapAllocate(sizeof(PluginHeader) * headers.size()));
  if (array == nullptr) return;
  for (size_t i = 0; i < headers.size(); ++i) {
    array[i].name = Duplicate(headers[i].first);
    array[i].value = Duplicate(headers[i].second);
  }
  response->headers = array;
  response->headerCount = headers.size();
}

}  // namespace

std::unique_ptr<RouteFunction> RouteTable::Prepare(uint32_t method, std::string_view path_template,
                                                   std::string_view call_name,
                                                   RouteSignature signature,
                                                   RouteHandler handler) const {
  return std::make_unique<RouteFunction>(RouteFunction{method,
                                                       RoutePattern(path_template),
                                                       FunctionName(method, path_template),
                                                       std::string(call_name),
                                                       {},
                                                       std::move(signature),
                                                       std::move(handler),
                                                       0});
}

RouteFunction& RouteTable::Add(uint32_t method, std::string_view path_template,
                               std::string_view call_name, RouteSignature signature,
                               RouteHandler handler) {
  return Insert(
      Prepare(method, path_template, call_name, std::move(signature), std::move(handler)));
}

RouteFunction& RouteTable::Insert(std::unique_ptr<RouteFunction> function) {
  function->index = functions_.size();
  Index(*function);
  functions_.push_back(std::move(function));
  return *functions_.back();
}

bool RouteTable::Commit(std::unique_ptr<RouteFunction> function, std::string_view unconvertible) {
  std::string refusal = WhyRefused(*function, unconvertible);
  if (refusal.empty()) {
    Insert(std::move(function));
    return true;
  }
  FrameLog(kFrameLogError, FormatMessage(kRefusedLog, MethodName(function->method),
                                         function->pattern.Template(), refusal));
  refusals_.push_back(std::move(refusal));
  return false;
}

void RouteTable::Index(const RouteFunction& function) {
  const RoutePattern& pattern = function.pattern;
  if (pattern.IsLiteral()) {
    literal_[pattern.Template()].push_back(function.index);
    literalLengths_.set(std::min(pattern.Template().size(), literalLengths_.size() - 1));
    return;
  }
  std::string_view prefix = pattern.LiteralPrefix();
  size_t last = prefix.rfind('/');
  if (last == std::string_view::npos) {
    unprefixed_.push_back(function.index);
    return;
  }
  std::string_view key = prefix.substr(0, last);
  size_t slashes = 0;
  for (size_t i = 0; i < key.size(); ++i) {
    if (key[i] == '/' && ++slashes > kIndexDepth) {
      key = key.substr(0, i);
      break;
    }
  }
  prefixDepths_ |= 1u << std::min(slashes, kIndexDepth);
  prefixed_[std::string(key)].push_back(function.index);
}

bool RouteTable::Accepts(const RouteFunction& function, uint32_t method,
                         std::string_view function_name) const {
  if (function.method == 0) return true;
  return function.method == method && function.callName == function_name;
}

const RouteFunction* RouteTable::Resolve(uint32_t method, std::string_view path,
                                         std::string_view function_name,
                                         std::vector<std::string_view>& captures) const {
  captures.clear();
  if (literalLengths_.test(std::min(path.size(), literalLengths_.size() - 1))) {
    auto it = literal_.find(path);
    if (it != literal_.end()) {
      for (size_t index : it->second) {
        if (Accepts(*functions_[index], method, function_name)) return functions_[index].get();
      }
    }
  }
  const RouteFunction* best = nullptr;
  size_t best_total = 0;
  thread_local std::vector<std::string_view> trial;
  auto consider = [&](const std::vector<size_t>& bucket) {
    for (size_t index : bucket) {
      const RouteFunction& function = *functions_[index];
      if (!Accepts(function, method, function_name)) continue;
      if (best != nullptr && index > best->index && best_total == 0) continue;
      if (!function.pattern.Match(path, trial)) continue;
      size_t total = 0;
      for (std::string_view capture : trial) total += capture.size();
      if (best == nullptr || total < best_total || (total == best_total && index < best->index)) {
        best = &function;
        best_total = total;
        captures.swap(trial);
      }
    }
  };
  consider(unprefixed_);
  if (!prefixed_.empty()) {
    size_t found = 0;
    for (size_t i = 0; i < path.size() && found <= kIndexDepth; ++i) {
      if (path[i] != '/') continue;
      // The key before the (k+1)-th "/" holds k of them; only depths in use are looked up.
      if ((prefixDepths_ & (1u << found++)) == 0) continue;
      auto it = prefixed_.find(path.substr(0, i));
      if (it != prefixed_.end()) consider(it->second);
    }
  }
  return best;
}

void RouteTable::Dispatch(PluginResponse* response, const PluginRequest* request,
                          const BindingRegistry* registry) const noexcept {
  if (response == nullptr) return;
  ResetResponse(response);
  try {
    if (request == nullptr) {
      FailResponse(response, kBadRequest, kInvalidFunction);
      return;
    }
    uint32_t method = request->method <= PLUGIN_METHOD_CALL ? request->method : 0;
    std::string_view full_path = request->path != nullptr ? request->path : "";
    std::string_view function_name;
    if (method == PLUGIN_METHOD_CALL && request->functionName != nullptr) {
      function_name = request->functionName;
    }
    auto [path, query] = SplitPathAndQuery(full_path);
    // Used only until the handler runs, so a nested dispatch may reuse it.
    thread_local std::vector<std::string_view> captures;
    const RouteFunction* function = Resolve(method, path, function_name, captures);
    if (function == nullptr) {
      FailResponse(response, kNotFound, kInvalidFunction);
      return;
    }

    HttpBaseTransport::Request info;
    info.method = method;
    info.path = full_path;
    info.functionName = function->name;
    info.callerHandle = request->callerHandle;
    info.receiveTime = std::chrono::steady_clock::now();
    for (size_t i = 0; i < request->headerCount && request->headers != nullptr; ++i) {
      const PluginHeader& header = request->headers[i];
      info.headers.emplace_back(header.name != nullptr ? header.name : "",
                                header.value != nullptr ? header.value : "");
    }

    constexpr size_t kInlineParameters = 8;
    size_t count = function->parameters.size();
    std::array<const BindingProperty*, kInlineParameters> inline_slots{};
    std::vector<const BindingProperty*> more_slots;
    std::span<const BindingProperty*> slots(inline_slots.data(), count);
    if (count > kInlineParameters) {
      more_slots.assign(count, nullptr);
      slots = more_slots;
    }
    ScratchValues scratch;
    Binder binder(*function, scratch.Values(), scratch.Body(), slots);
    BindingResult bound = binder.Bind(*request, query, captures);
    if (!bound.IsOk()) {
      FailResponse(response, kBadRequest, bound.ErrorMessage());
      return;
    }
    RouteContext context(info, registry);
    BindingProperty result;
    function->handler(context, function->parameters, slots, result);
    response->status = context.Status();
    response->encoding = context.Encoding();
    response->resultFlag = context.ResultFlag() ? 1 : 0;
    if (!context.ReplyText().empty()) response->replyText = Duplicate(context.ReplyText());
    FillHeaders(response, context.Headers());
    if (context.Failed()) {
      FailResponse(response, context.Status(), context.Error());
    } else {
      BindingProperty::ToBoundary(result, registry, response->result.value);
    }
  } catch (const std::exception& error) {
    ReleaseResponse(response);
    ResetResponse(response);
    FailResponse(response, kInternalError, error.what());
  } catch (...) {
    ReleaseResponse(response);
    ResetResponse(response);
    FailResponse(response, kInternalError, "Unknown error");
  }
}

}  // namespace Varn

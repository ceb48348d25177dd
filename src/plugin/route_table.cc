#include "plugin/route_table.h"

#include <algorithm>
#include <exception>
#include <limits>
#include <span>

#include "binding/heap.h"
#include "binding/message_format.h"
#include "plugin/body_decoder.h"
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

// Binds one request's values to one function's parameters; the first error wins.
class Binder {
 public:
  Binder(const RouteFunction& function, std::vector<BindingProperty>& values,
         std::vector<uint8_t>& present)
      : function_(function), values_(values), present_(present) {}

  BindingResult Bind(const PluginRequest& request, std::string_view query,
                     const std::vector<std::string_view>& captures) {
    const auto& params = function_.parameters;
    // Named arguments arrive as values already; they only need a matching parameter.
    for (size_t i = 0; i < request.argumentCount; ++i) {
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
    auto pairs = SplitQuery(query);
    if (request.body != nullptr && request.bodyLength > 0) {
      for (size_t p = 0; p < params.size(); ++p) {
        if (params[p].location != ParameterLocation::Body) continue;
        std::string_view type = request.contentType != nullptr ? request.contentType : "";
        BindingResult body = DecodeBody(type, {request.body, request.bodyLength}, params[p].name,
                                        function_.name);
        if (!body.IsOk()) return body;
        values_[p] = std::move(body.value);
        present_[p] = 1;
        break;
      }
    }
    const auto& names = function_.pattern.ParameterNames();
    for (size_t c = 0; c < captures.size() && c < names.size(); ++c) {
      if (!BindText(names[c], captures[c], ParameterLocation::Path)) return std::move(result_);
    }
    for (const auto& [name, value] : pairs) {
      if (!BindText(name, value, ParameterLocation::Query)) return std::move(result_);
    }
    for (size_t p = 0; p < params.size(); ++p) {
      if (!present_[p] && !params[p].optional) {
        return BindingResult::Error(FormatMessage(kValueRequired, params[p].name));
      }
    }
    return BindingResult();
  }

 private:
  // Finds where `name` goes. Returns false with the error set; a null slot means the whole
  // parameter was given already by a source read earlier, which keeps it.
  bool Target(std::string_view name, ParameterLocation location, BindingProperty*& slot) {
    slot = nullptr;
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
    if (!source.indexed) {
      if (present_[p]) return true;
      present_[p] = 1;
      slot = &values_[p];
      return true;
    }
    size_t index = 0;
    bool digits = !source.index.empty() && source.index.size() <= 10;
    for (char c : source.index) {
      if (c < '0' || c > '9') digits = false;
      if (digits) index = index * 10 + static_cast<size_t>(c - '0');
    }
    if (!digits) return Fail(FormatMessage(kIndexFormat, source.index));
    BindingProperty& list = values_[p];
    if (!present_[p] && !list.IsEmpty()) list.Reset();
    list.MakeCollection();
    // Elements are given in order: an index may name an existing element or the next one.
    if (index > list.Size() || index > kMaxIndex) {
      return Fail(FormatMessage(kIndexRange, source.index));
    }
    present_[p] = 1;
    slot = &list.At(index);
    indexed_ = true;
    return true;
  }

  bool BindText(std::string_view name, std::string_view text, ParameterLocation location) {
    BindingProperty* slot = nullptr;
    indexed_ = false;
    if (!Target(name, location, slot)) return false;
    if (slot == nullptr) return true;
    if (indexed_) {
      slot->SetString(text);
      return true;
    }
    size_t p = static_cast<size_t>(slot - values_.data());
    if (text.empty()) {
      switch (function_.parameters[p].shape) {
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
          return Fail(FormatMessage(kExpectedValue, function_.parameters[p].name));
      }
    }
    BindingResult decoded = DecodeTextValue(text, function_.parameters[p].name, function_.name);
    if (!decoded.IsOk()) {
      result_ = std::move(decoded);
      return false;
    }
    *slot = std::move(decoded.value);
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
  std::vector<BindingProperty>& values_;
  std::vector<uint8_t>& present_;
  BindingResult result_;
  bool indexed_ = false;
};

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

RouteFunction& RouteTable::Add(uint32_t method, std::string_view path_template,
                               std::string_view call_name, RouteSignature signature,
                               RouteHandler handler) {
  auto function = std::make_unique<RouteFunction>(RouteFunction{
      method, RoutePattern(path_template), FunctionName(method, path_template),
      std::string(call_name), {}, std::move(signature), std::move(handler),
      functions_.size()});
  Index(*function);
  functions_.push_back(std::move(function));
  return *functions_.back();
}

void RouteTable::Index(const RouteFunction& function) {
  const RoutePattern& pattern = function.pattern;
  if (pattern.IsLiteral()) {
    literal_[pattern.Template()].push_back(function.index);
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
  if (!literal_.empty()) {
    auto it = literal_.find(path);
    if (it != literal_.end()) {
      for (size_t index : it->second) {
        if (Accepts(*functions_[index], method, function_name)) return functions_[index].get();
      }
    }
  }
  const RouteFunction* best = nullptr;
  size_t best_total = 0;
  std::vector<std::string_view> trial;
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
      ++found;
      auto it = prefixed_.find(path.substr(0, i));
      if (it != prefixed_.end()) consider(it->second);
    }
  }
  return best;
}

void RouteTable::Dispatch(PluginResponse* response, const PluginRequest* request,
                          const BindingEnumNames* names) const noexcept {
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
    std::vector<std::string_view> captures;
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

    std::vector<BindingProperty> values(function->parameters.size());
    std::vector<uint8_t> present(function->parameters.size(), 0);
    Binder binder(*function, values, present);
    BindingResult bound = binder.Bind(*request, query, captures);
    if (!bound.IsOk()) {
      FailResponse(response, kBadRequest, bound.ErrorMessage());
      return;
    }
    RouteContext context(info);
    BindingProperty result;
    function->handler(context, function->parameters, values, present, result);
    response->status = context.Status();
    response->encoding = context.Encoding();
    response->resultFlag = context.ResultFlag() ? 1 : 0;
    if (!context.ReplyText().empty()) response->replyText = Duplicate(context.ReplyText());
    FillHeaders(response, context.Headers());
    if (context.Failed()) {
      FailResponse(response, context.Status(), context.Error());
    } else {
      BindingProperty::ToBoundary(result, names, response->result.value);
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

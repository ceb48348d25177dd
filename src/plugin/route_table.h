// RouteTable: the functions a plugin serves and the dispatch of a boundary request to one of them.
//
// A function is a method, a path template (see RoutePattern) and a handler with declared
// parameters. Dispatch resolves the function by method and path, binds the handler's arguments
// from the request's named arguments, path captures, query string and body, runs the handler and
// fills the response record. Declaration happens once, before the first dispatch; after that the
// table is only read, so dispatch needs no lock.
#ifndef ZEK_PLUGIN_ROUTE_TABLE_H_
#define ZEK_PLUGIN_ROUTE_TABLE_H_

#include <bitset>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "binding/binding_property.h"
#include "binding/native_kind.h"
#include "plugin/route_context.h"
#include "plugin/route_pattern.h"
#include "zek/plugin_abi.h"

namespace Varn {

class BindingRegistry;

// Where a request may carry a parameter.
enum class ParameterLocation : uint32_t { Any = 0, Query = 1, Path = 2, Named = 4, Body = 5 };

// What an empty text means for a parameter, and whether it takes list indexes.
enum class ValueShape : uint8_t { kOther, kBool, kString, kList };

// The type of an argument or answer: its native kind, the element kind of a vector or map, and
// the StaticType hash of the enumeration or record it (or its element) refers to.
struct RouteValueType {
  NativeKind kind = NativeKind::None;
  NativeKind elementKind = NativeKind::None;
  uint32_t typeHash = 0;
};

struct RouteParameter {
  std::string name;
  std::string help;
  ParameterLocation location = ParameterLocation::Any;
  ValueShape shape = ValueShape::kOther;
  bool optional = false;
  RouteValueType type;
};

// What a handler takes and answers, as known from its C++ signature.
struct RouteSignature {
  std::vector<ValueShape> shapes;
  std::vector<RouteValueType> types;
  RouteValueType returns;
};

// Runs a handler with the bound values, one per declared parameter; a null value is one the
// request did not give, and the handler's argument keeps its default. The values stay valid only
// until the handler's own code runs: they are converted to native arguments first. A failed
// conversion fails `context` and skips the handler. On success `result` holds the answer.
struct RouteParameter;
using RouteHandler =
    std::function<void(RouteContext& context, const std::vector<RouteParameter>& parameters,
                       std::span<const BindingProperty* const> values, BindingProperty& result)>;

struct RouteFunction {
  uint32_t method = 0;
  RoutePattern pattern;
  std::string name;
  std::string callName;
  std::vector<RouteParameter> parameters;
  // The handler's arguments, in order; the declared parameters must match them.
  RouteSignature signature;
  RouteHandler handler;
  size_t index = 0;  // declaration order
};

class RouteTable {
 public:
  // `registry` (which must outlive the table, and may be null) holds the records and
  // enumerations that declared handlers take and answer.
  explicit RouteTable(const BindingRegistry* registry = nullptr) : registry_(registry) {}
  RouteTable(const RouteTable&) = delete;
  RouteTable& operator=(const RouteTable&) = delete;

  const BindingRegistry* Registry() const { return registry_; }

  // A function not yet in the table, for its parameters to be declared on. `call_name` is for
  // method 8 (call by name) and empty for path functions.
  std::unique_ptr<RouteFunction> Prepare(uint32_t method, std::string_view path_template,
                                         std::string_view call_name, RouteSignature signature,
                                         RouteHandler handler) const;
  // Adds a prepared function whose parameters are all declared, or refuses it (logged, and kept
  // in Refusals()) when its handler cannot be served: parameters that do not match the
  // handler's arguments or the template's captures, or `unconvertible` set (the declaration's
  // message for an argument or answer type that does not convert). A refused function is never
  // dispatched to. Before the first dispatch only.
  bool Commit(std::unique_ptr<RouteFunction> function, std::string_view unconvertible = {});
  // Adds a function as it stands, unchecked; parameters are declared on the returned record,
  // before the first dispatch.
  RouteFunction& Add(uint32_t method, std::string_view path_template, std::string_view call_name,
                     RouteSignature signature, RouteHandler handler);

  const std::vector<std::unique_ptr<RouteFunction>>& Functions() const { return functions_; }
  // Why each refused function was refused, in declaration order.
  const std::vector<std::string>& Refusals() const { return refusals_; }

  // The function serving (method, path without query, function name), or null. Among candidates
  // a literal template wins at once; otherwise the one capturing the fewest characters, the
  // earlier on a tie. `captures` receives the winner's captures.
  const RouteFunction* Resolve(uint32_t method, std::string_view path,
                               std::string_view function_name,
                               std::vector<std::string_view>& captures) const;

  // Fills `response` (release function included) for `request`; never throws. `registry`
  // converts records and enumerations, and may be null when no handler takes or gives any.
  void Dispatch(PluginResponse* response, const PluginRequest* request,
                const BindingRegistry* registry) const noexcept;

 private:
  bool Accepts(const RouteFunction& function, uint32_t method,
               std::string_view function_name) const;
  RouteFunction& Insert(std::unique_ptr<RouteFunction> function);
  void Index(const RouteFunction& function);

  const BindingRegistry* registry_;
  std::vector<std::string> refusals_;

  struct TextHash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
  };
  using Buckets = std::unordered_map<std::string, std::vector<size_t>, TextHash, std::equal_to<>>;

  std::vector<std::unique_ptr<RouteFunction>> functions_;
  // Literal templates by their text, and the lengths those texts have (the last bit stands for
  // every length from 255 up), so most paths skip the lookup.
  Buckets literal_;
  std::bitset<256> literalLengths_;
  // Templates by the text of their leading whole literal segments (up to kIndexDepth of them),
  // so a path visits only templates that can share its first segments.
  Buckets prefixed_;
  // Bit k is set when some key of `prefixed_` holds k "/" characters.
  uint32_t prefixDepths_ = 0;
  // Templates whose literal prefix holds no "/": any path may match them.
  std::vector<size_t> unprefixed_;
};

// Why a declared function is refused.
inline constexpr std::string_view kArityMismatch =
    "Function '%1' declares %2 parameters for a handler of %3 arguments.";
inline constexpr std::string_view kUnconvertibleArgument =
    "Function '%1' has a handler whose argument %2 is of a type that is not registered.";
inline constexpr std::string_view kUnconvertibleAnswer =
    "Function '%1' has a handler whose answer is of a type that is not registered.";
inline constexpr std::string_view kDuplicateParameter =
    "Function '%1' declares parameter '%2' twice.";
inline constexpr std::string_view kSecondBody =
    "Function '%1' declares more than one body parameter.";
inline constexpr std::string_view kUncapturedPath =
    "Function '%1' declares path parameter '%2' that its template does not capture.";
inline constexpr std::string_view kUndeclaredCapture =
    "Function '%1' captures '%2' in its template but declares no path parameter of that name.";
inline constexpr std::string_view kRefusedLog = "Route %1 %2 refused: %3";

// The error texts of dispatch and binding.
inline constexpr std::string_view kInvalidFunction = "Invalid function";
inline constexpr std::string_view kUnknownArgument = "Unknown argument '%1' for '%2'.";
inline constexpr std::string_view kInvalidLocation =
    "Argument '%1' for '%2' was specified in an invalid location.";
inline constexpr std::string_view kIndexFormat = "Index %1 is in an incorrect format";
inline constexpr std::string_view kIndexRange = "Index %1 is out of range";
inline constexpr std::string_view kExpectedValue = "Expected value for argument '%1'.";
inline constexpr std::string_view kExtraMsgPack = "Extra MessgePack data found in body";
inline constexpr std::string_view kUnsupportedBody = "Unsupported body content type";

}  // namespace Varn

#endif  // ZEK_PLUGIN_ROUTE_TABLE_H_

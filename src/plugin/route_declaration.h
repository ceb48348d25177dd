// Declaring a route: a method, a path template and a native handler, then one parameter per
// handler argument, chained in argument order:
//
//   DeclareRoute(table, PLUGIN_METHOD_PATCH, "/zek-settings/v2/account/{ppType}/{category}",
//                [](RouteContext& context, std::string type, std::string category,
//                   SettingCategoryResource resource) { ... })
//       .Path("ppType", "Preference type")
//       .Path("category", "Category name")
//       .Body("settingsResource", "Category record");
//
// A handler may take RouteContext& first (not a parameter) to read the request or to answer with
// an error status; it returns a value (RouteReturn) or nothing.
#ifndef ZEK_PLUGIN_ROUTE_DECLARATION_H_
#define ZEK_PLUGIN_ROUTE_DECLARATION_H_

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

#include "binding/message_format.h"
#include "plugin/route_argument.h"
#include "plugin/route_table.h"

namespace Varn {

// Holds a declared function until its parameters are declared; when the declaration ends (the
// statement that chained the parameters), the table takes the function or refuses it
// (RouteTable::Commit). Move-only, so that one declaration commits once.
class RouteDeclaration {
 public:
  // `unconvertible`: why the handler's argument or answer types do not convert, or empty.
  RouteDeclaration(RouteTable& table, std::unique_ptr<RouteFunction> function,
                   std::string unconvertible = {})
      : table_(&table), function_(std::move(function)), unconvertible_(std::move(unconvertible)) {}
  RouteDeclaration(RouteDeclaration&& other) noexcept
      : table_(other.table_),
        function_(std::move(other.function_)),
        unconvertible_(std::move(other.unconvertible_)) {}
  RouteDeclaration(const RouteDeclaration&) = delete;
  RouteDeclaration& operator=(const RouteDeclaration&) = delete;
  RouteDeclaration& operator=(RouteDeclaration&&) = delete;
  ~RouteDeclaration() {
    if (function_ == nullptr) return;
    try {
      table_->Commit(std::move(function_), unconvertible_);
    } catch (...) {
      // Out of memory while adding: the function is not served, as when refused.
    }
  }

  // A path capture; required.
  RouteDeclaration& Path(std::string_view name, std::string_view help) {
    return Add(name, help, ParameterLocation::Path, false);
  }
  // The request body; required.
  RouteDeclaration& Body(std::string_view name, std::string_view help) {
    return Add(name, help, ParameterLocation::Body, false);
  }
  // A query value; optional.
  RouteDeclaration& Query(std::string_view name, std::string_view help) {
    return Add(name, help, ParameterLocation::Query, true);
  }
  // A named argument of the request record; optional.
  RouteDeclaration& Named(std::string_view name, std::string_view help) {
    return Add(name, help, ParameterLocation::Named, true);
  }
  // Given from any location; optional.
  RouteDeclaration& Any(std::string_view name, std::string_view help) {
    return Add(name, help, ParameterLocation::Any, true);
  }

  // The function being declared; not in the table until the declaration ends.
  RouteFunction& Function() { return *function_; }

 private:
  RouteDeclaration& Add(std::string_view name, std::string_view help, ParameterLocation location,
                        bool optional) {
    size_t at = function_->parameters.size();
    const RouteSignature& signature = function_->signature;
    ValueShape shape = at < signature.shapes.size() ? signature.shapes[at] : ValueShape::kOther;
    RouteValueType type = at < signature.types.size() ? signature.types[at] : RouteValueType{};
    function_->parameters.push_back(RouteParameter{std::string(name), std::string(help), location,
                                                   shape, optional, std::move(type)});
    return *this;
  }

  RouteTable* table_;
  std::unique_ptr<RouteFunction> function_;
  std::string unconvertible_;
};

namespace route_declaration_internal {

inline constexpr uint32_t kBadRequest = 400;
inline constexpr uint32_t kInternalError = 500;

template <class T>
struct Signature : Signature<decltype(&T::operator())> {};
template <class R, class... A>
struct Signature<R (*)(A...)> {
  using Return = R;
  using Args = std::tuple<A...>;
};
template <class C, class R, class... A>
struct Signature<R (C::*)(A...) const> : Signature<R (*)(A...)> {};
template <class C, class R, class... A>
struct Signature<R (C::*)(A...)> : Signature<R (*)(A...)> {};

template <class Tuple>
struct Native;
template <class... A>
struct Native<std::tuple<A...>> {
  using Type = std::tuple<std::decay_t<A>...>;
};

template <class Args>
constexpr bool kTakesContext = false;
template <class First, class... Rest>
constexpr bool kTakesContext<std::tuple<First, Rest...>> = std::is_same_v<First, RouteContext&>;

template <class Tuple>
struct DropFirst {
  using Type = std::tuple<>;
};
template <class First, class... Rest>
struct DropFirst<std::tuple<First, Rest...>> {
  using Type = std::tuple<Rest...>;
};

template <class F>
struct Shape {
  using Sig = Signature<std::decay_t<F>>;
  static constexpr bool kContext = kTakesContext<typename Sig::Args>;
  using Params = std::conditional_t<kContext, typename DropFirst<typename Sig::Args>::Type,
                                    typename Sig::Args>;
  using Values = typename Native<Params>::Type;
};

template <class R, class Values, size_t... I>
RouteSignature SignatureOf(std::index_sequence<I...>) {
  RouteSignature signature;
  signature.shapes = {RouteArgument<std::tuple_element_t<I, Values>>::kShape...};
  signature.types = {RouteValueTypeOf<std::tuple_element_t<I, Values>>()...};
  signature.returns = RouteValueTypeOf<R>();
  return signature;
}

// How each argument converts, described once, when the route is declared.
template <class Values, size_t... I>
std::array<BindingFieldInfo, sizeof...(I)> FieldsOf(
    [[maybe_unused]] const BindingRegistry* registry, std::index_sequence<I...>) {
  return {RouteValueInfo<std::tuple_element_t<I, Values>>(registry)...};
}

template <class F, class Fields>
RouteHandler MakeHandler(F fn, Fields fields, BindingFieldInfo answer_field) {
  using S = Shape<F>;
  using Values = typename S::Values;
  constexpr size_t kCount = std::tuple_size_v<Values>;
  return [fn = std::move(fn), fields = std::move(fields), answer_field = std::move(answer_field)](
             RouteContext& context, const std::vector<RouteParameter>& params,
             std::span<const BindingProperty* const> values, BindingProperty& result) mutable {
    // The table refuses a function whose parameters do not match; this guards only a function
    // added unchecked.
    if (params.size() != kCount || values.size() != kCount) {
      context.Fail(kInternalError, FormatMessage(kArityMismatch, context.Request().functionName,
                                                 params.size(), size_t{kCount}));
      return;
    }
    Values natives{};
    BindingResult status;
    [&]<size_t... I>(std::index_sequence<I...>) {
      ((values[I] != nullptr ? RouteArgument<std::tuple_element_t<I, Values>>::Assign(
                                   status, *values[I], params[I].name, fields[I],
                                   context.Registry(), std::get<I>(natives))
                             : void()),
       ...);
    }
    (std::make_index_sequence<kCount>());
    if (!status.IsOk()) {
      context.Fail(kBadRequest, status.ErrorMessage());
      return;
    }
    auto call = [&]() -> decltype(auto) {
      if constexpr (S::kContext) {
        return std::apply(
            [&](auto&... a) -> decltype(auto) { return fn(context, std::move(a)...); }, natives);
      } else {
        return std::apply([&](auto&... a) -> decltype(auto) { return fn(std::move(a)...); },
                          natives);
      }
    };
    using R = std::decay_t<typename S::Sig::Return>;
    if constexpr (std::is_void_v<R>) {
      call();
    } else {
      R answer = call();
      if (context.Failed()) return;
      BindingResult converted;
      RouteReturn<R>::ToValue(converted, std::move(answer), answer_field, result);
      if (!converted.IsOk()) context.Fail(kInternalError, converted.ErrorMessage());
    }
  };
}

}  // namespace route_declaration_internal

// Declares a function serving `handler`; declare its parameters on the result, in argument
// order. When the declaration ends the table adds the function, or refuses it when the
// parameters do not match the handler, or a record or enumeration it takes or answers is not in
// the table's registry (register types before the routes that use them).
template <class F>
RouteDeclaration DeclareRoute(RouteTable& table, uint32_t method, std::string_view path_template,
                              F handler, std::string_view call_name = {}) {
  using namespace route_declaration_internal;
  using Values = typename Shape<F>::Values;
  using R = std::decay_t<typename Shape<F>::Sig::Return>;
  constexpr size_t kCount = std::tuple_size_v<Values>;
  auto fields = FieldsOf<Values>(table.Registry(), std::make_index_sequence<kCount>());
  BindingFieldInfo answer_field = RouteValueInfo<R>(table.Registry());
  size_t unconvertible_argument = 0;
  while (unconvertible_argument < kCount && IsConvertible(fields[unconvertible_argument])) {
    ++unconvertible_argument;
  }
  bool answer_converts = IsConvertible(answer_field);
  std::unique_ptr<RouteFunction> function = table.Prepare(
      method, path_template, call_name, SignatureOf<R, Values>(std::make_index_sequence<kCount>()),
      MakeHandler(std::move(handler), std::move(fields), std::move(answer_field)));
  std::string unconvertible;
  if (unconvertible_argument < kCount) {
    unconvertible =
        FormatMessage(kUnconvertibleArgument, function->name, unconvertible_argument + 1);
  } else if (!answer_converts) {
    unconvertible = FormatMessage(kUnconvertibleAnswer, function->name);
  }
  return RouteDeclaration(table, std::move(function), std::move(unconvertible));
}

}  // namespace Varn

#endif  // ZEK_PLUGIN_ROUTE_DECLARATION_H_

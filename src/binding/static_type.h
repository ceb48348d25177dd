// StaticType: the process-local identity of a native type. Enum values carry their enumeration's
// hash code and the registry finds record and enumeration types by it. The hash comes from the
// compiler's full signature of a template function, so it is stable within one build only; it
// never leaves the process.
#ifndef ZEK_BINDING_STATIC_TYPE_H_
#define ZEK_BINDING_STATIC_TYPE_H_

#include <concepts>
#include <cstdint>
#include <string_view>

#include "binding/binding_property.h"

namespace Varn {

class StaticType {
 public:
  // `declared_name` must live for the process (a literal); null gives the "#%08X" fallback.
  StaticType(uint32_t hash_code, const char* declared_name);
  StaticType(const StaticType&) = delete;
  StaticType& operator=(const StaticType&) = delete;

  uint32_t HashCode() const { return hashCode_; }
  const char* Name() const { return name_ != nullptr ? name_ : fallbackName_; }

 private:
  uint32_t hashCode_;
  const char* name_;
  char fallbackName_[12];
};

namespace static_type_internal {

// The signature names T in full, including its namespaces and any cv or reference qualifiers.
template <class T>
constexpr std::string_view Signature() {
  return __PRETTY_FUNCTION__;
}

template <class T>
concept DeclaresName = requires {
  { T::StaticTypeName() } -> std::convertible_to<const char*>;
};

template <class T>
const char* DeclaredName() {
  if constexpr (DeclaresName<T>) {
    return T::StaticTypeName();
  } else {
    return nullptr;
  }
}

}  // namespace static_type_internal

template <class T>
constexpr uint32_t StaticTypeHash() {
  return Fnv1a(static_type_internal::Signature<T>());
}

// Created on first use and kept for the process's life; safe to call from any thread.
template <class T>
const StaticType& StaticTypeOf() {
  static const StaticType type(StaticTypeHash<T>(), static_type_internal::DeclaredName<T>());
  return type;
}

}  // namespace Varn

#endif  // ZEK_BINDING_STATIC_TYPE_H_

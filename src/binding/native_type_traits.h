// NativeTypeTraits<M>: the NativeKind of a C++ member type, its element type for vectors and
// maps, and the container operations the conversions use on it. Lets a record declaration name
// only its members and have every kind derived, so a declaration cannot disagree with the type.
#ifndef ZEK_BINDING_NATIVE_TYPE_TRAITS_H_
#define ZEK_BINDING_NATIVE_TYPE_TRAITS_H_

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "binding/binding_property.h"
#include "binding/binding_type_info.h"
#include "binding/native_kind.h"

namespace Varn {

namespace native_type_internal {

template <class T>
struct IsVector : std::false_type {};
template <class E, class A>
struct IsVector<std::vector<E, A>> : std::true_type {
  using Element = E;
};

template <class T>
struct IsStringMap : std::false_type {};
template <class E, class C, class A>
struct IsStringMap<std::map<std::string, E, C, A>> : std::true_type {
  using Element = E;
};

template <class T>
inline constexpr bool kAlwaysFalse = false;

template <class E>
constexpr NativeKind ScalarKind() {
  if constexpr (std::is_same_v<E, bool>) {
    return NativeKind::Bool;
  } else if constexpr (std::is_enum_v<E>) {
    return NativeKind::Enum;
  } else if constexpr (std::is_integral_v<E>) {
    constexpr bool is_signed = std::is_signed_v<E>;
    if constexpr (sizeof(E) == 1) return is_signed ? NativeKind::Int8 : NativeKind::Uint8;
    if constexpr (sizeof(E) == 2) return is_signed ? NativeKind::Int16 : NativeKind::Uint16;
    if constexpr (sizeof(E) == 4) return is_signed ? NativeKind::Int32 : NativeKind::Uint32;
    if constexpr (sizeof(E) == 8) return is_signed ? NativeKind::Int64 : NativeKind::Uint64;
  } else if constexpr (std::is_same_v<E, float>) {
    return NativeKind::Float;
  } else if constexpr (std::is_same_v<E, double>) {
    return NativeKind::Double;
  } else if constexpr (std::is_same_v<E, std::string>) {
    return NativeKind::String;
  } else if constexpr (std::is_same_v<E, BindingProperty>) {
    return NativeKind::Object;
  } else if constexpr (std::is_same_v<E, std::vector<uint8_t>>) {
    return NativeKind::Blob;
  } else if constexpr (IsVector<E>::value || IsStringMap<E>::value) {
    return NativeKind::None;  // a container; only allowed at the outer level
  } else if constexpr (std::is_class_v<E>) {
    return NativeKind::Struct;
  } else {
    static_assert(kAlwaysFalse<E>, "no native kind stores this type");
  }
  return NativeKind::None;
}

template <class V>
const BindingContainerOps* VectorOps() {
  static const BindingContainerOps ops = [] {
    BindingContainerOps o;
    o.size = [](const void* c) { return static_cast<const V*>(c)->size(); };
    o.clearAndResize = [](void* c, size_t n) {
      static_cast<V*>(c)->clear();
      static_cast<V*>(c)->resize(n);
    };
    o.element = [](void* c, size_t i) -> void* { return &(*static_cast<V*>(c))[i]; };
    o.constElement = [](const void* c, size_t i) -> const void* {
      return &(*static_cast<const V*>(c))[i];
    };
    return o;
  }();
  return &ops;
}

template <class M>
const BindingContainerOps* MapOps() {
  static const BindingContainerOps ops = [] {
    BindingContainerOps o;
    o.size = [](const void* c) { return static_cast<const M*>(c)->size(); };
    o.forEach = [](const void* c, void* ctx, BindingContainerOps::EntryVisitor visit) {
      for (const auto& [key, element] : *static_cast<const M*>(c)) {
        if (!visit(ctx, key, &element)) return;
      }
    };
    o.slot = [](void* c, std::string_view key) -> void* {
      return &(*static_cast<M*>(c))[std::string(key)];
    };
    return o;
  }();
  return &ops;
}

}  // namespace native_type_internal

// The default: a scalar, string, object, blob, enum or record member.
template <class M>
struct NativeTypeTraits {
  using Element = M;  // the type an enum or struct member refers to
  static constexpr NativeKind kKind = native_type_internal::ScalarKind<M>();
  static constexpr NativeKind kElementKind = NativeKind::None;
  static const BindingContainerOps* Container() { return nullptr; }
};

template <>
struct NativeTypeTraits<std::vector<uint8_t>> {
  using Element = std::vector<uint8_t>;
  static constexpr NativeKind kKind = NativeKind::Blob;
  static constexpr NativeKind kElementKind = NativeKind::None;
  static const BindingContainerOps* Container() { return nullptr; }
};

template <class E, class A>
struct NativeTypeTraits<std::vector<E, A>> {
  // std::vector<bool> hands out no element addresses; use std::vector<uint8_t> or a struct.
  static_assert(!std::is_same_v<E, bool>, "std::vector<bool> members are not supported");
  static_assert(native_type_internal::ScalarKind<E>() != NativeKind::None,
                "containers of containers are not supported");
  using Element = E;
  static constexpr NativeKind kKind = NativeKind::Vector;
  static constexpr NativeKind kElementKind = native_type_internal::ScalarKind<E>();
  static const BindingContainerOps* Container() {
    return native_type_internal::VectorOps<std::vector<E, A>>();
  }
};

template <class E, class C, class A>
struct NativeTypeTraits<std::map<std::string, E, C, A>> {
  static_assert(native_type_internal::ScalarKind<E>() != NativeKind::None,
                "containers of containers are not supported");
  using Element = E;
  static constexpr NativeKind kKind = NativeKind::Map;
  static constexpr NativeKind kElementKind = native_type_internal::ScalarKind<E>();
  static const BindingContainerOps* Container() {
    return native_type_internal::MapOps<std::map<std::string, E, C, A>>();
  }
};

}  // namespace Varn

#endif  // ZEK_BINDING_NATIVE_TYPE_TRAITS_H_

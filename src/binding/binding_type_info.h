// BindingTypeInfo: the description of one registered record or enumeration, from which native
// values are converted to and from BindingProperty trees and the API description is built.
// A type info is immutable once its builder has published it to a registry, so conversions
// read it without a lock.
#ifndef ZEK_BINDING_BINDING_TYPE_INFO_H_
#define ZEK_BINDING_BINDING_TYPE_INFO_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "binding/binding_property.h"
#include "binding/native_kind.h"

namespace Varn {

class BindingRegistry;
class StaticType;
struct BindingTypeInfo;

// Field flags.
inline constexpr uint32_t kBindingFieldOmitIfDefault = 1;  // left out of output when default
inline constexpr uint32_t kBindingFieldRequired = 2;       // input without it fails

// Replaces the built-in rules for one field. `native` is the field's address in the record.
// Implementations report failures through `result` and do nothing once it has failed.
class BindingConverter {
 public:
  virtual void ToBinding(BindingResult& result, const void* native, BindingProperty& out) const = 0;
  virtual void FromBinding(BindingResult& result, const BindingProperty& in,
                           std::string_view field_name, void* native) const = 0;
  virtual ~BindingConverter() = default;
};

// Type-erased access to a native std::vector or std::map<std::string, E> field. Only the
// operations of the field's own container kind are set.
struct BindingContainerOps {
  size_t (*size)(const void* container) = nullptr;
  // Vectors: clears, then holds `count` default elements.
  void (*clearAndResize)(void* container, size_t count) = nullptr;
  void* (*element)(void* container, size_t index) = nullptr;
  const void* (*constElement)(const void* container, size_t index) = nullptr;
  // Maps: visits entries in key order; the visitor returns false to stop.
  using EntryVisitor = bool (*)(void* ctx, std::string_view key, const void* element);
  void (*forEach)(const void* container, void* ctx, EntryVisitor visitor) = nullptr;
  // Maps: the element stored under `key`, inserted default when missing.
  void* (*slot)(void* container, std::string_view key) = nullptr;
};

struct BindingFieldInfo {
  std::string name;
  uint32_t nameHash = 0;
  std::string description;
  size_t offset = 0;
  const StaticType* staticType = nullptr;
  NativeKind kind = NativeKind::None;
  NativeKind elementKind = NativeKind::None;  // vector and map fields
  // The enum or struct type of the field, or of its elements; null when unregistered.
  const BindingTypeInfo* typeInfo = nullptr;
  uint32_t flags = 0;
  const BindingConverter* converter = nullptr;     // not owned; outlives the registry
  const BindingContainerOps* container = nullptr;  // vector and map fields
};

struct BindingEnumerator {
  std::string name;
  int32_t value = 0;
  std::string description;
};

enum class BindingTypeKind : uint8_t { Structure = 0, Enumeration = 1 };

struct BindingTypeInfo {
  BindingTypeKind typeKind = BindingTypeKind::Structure;
  size_t size = 0;  // native size; for an enumeration its storage size 1, 2, 4 or 8
  // An enumeration whose storage is unsigned: 1- and 2-byte values are zero-extended on output,
  // so an enumerator such as 200 in one byte reads back as 200, not -56.
  bool unsignedStorage = false;
  uint32_t hashCode = 0;
  std::string name;
  std::string nameSpace;
  std::string description;
  std::vector<std::string> tags;
  std::vector<BindingFieldInfo> fields;        // registration order
  std::vector<BindingEnumerator> enumerators;  // sorted by name in byte order
  // The registry that published this type; resolves enumerator names for string fields.
  const BindingRegistry* registry = nullptr;

  // The enumerator of that name, or null.
  const BindingEnumerator* FindEnumerator(std::string_view enumerator_name) const;
  // The first enumerator in name order whose value matches, or null.
  const BindingEnumerator* FindEnumerator(int64_t value) const;
};

}  // namespace Varn

#endif  // ZEK_BINDING_BINDING_TYPE_INFO_H_

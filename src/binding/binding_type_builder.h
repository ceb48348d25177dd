// BindingTypeBuilder: fills in one new record or enumeration type and registers it with its
// registry when finished: at Finish() or, at the latest, on destruction, so a declaration
// chained in one statement is registered at the end of that statement. Until then no other
// thread can see the type, so a published type never changes. A builder for a name that is
// registered already is inert: IsNew() is false and every call does nothing.
#ifndef ZEK_BINDING_BINDING_TYPE_BUILDER_H_
#define ZEK_BINDING_BINDING_TYPE_BUILDER_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "binding/binding_type_info.h"
#include "binding/native_kind.h"
#include "binding/static_type.h"

namespace Varn {

class BindingRegistry;

class BindingTypeBuilder {
 public:
  BindingTypeBuilder(BindingRegistry* registry, std::unique_ptr<BindingTypeInfo> info);
  BindingTypeBuilder(BindingTypeBuilder&& other) noexcept;
  BindingTypeBuilder& operator=(BindingTypeBuilder&&) = delete;
  ~BindingTypeBuilder();

  bool IsNew() const { return info_ != nullptr; }

  BindingTypeBuilder& Description(std::string_view description);
  BindingTypeBuilder& NameSpace(std::string_view name_space);
  BindingTypeBuilder& Tag(std::string_view tag);
  BindingTypeBuilder& UnsignedStorage(bool unsigned_storage);

  // A record field at `offset`. For enum and struct fields, and vectors and maps of them,
  // `element_type` names the registered type of the value or element; vector and map fields
  // need `container`. A field name given twice keeps the first.
  BindingTypeBuilder& AddField(std::string_view name, std::string_view description, size_t offset,
                               const StaticType& type, NativeKind kind, NativeKind element_kind,
                               uint32_t flags, const BindingConverter* converter,
                               const StaticType* element_type = nullptr,
                               const BindingContainerOps* container = nullptr);
  // An enumerator. A name given twice keeps the first.
  BindingTypeBuilder& AddEnumValue(std::string_view name, int32_t value,
                                   std::string_view description);

  // Registers the type now. Returns it, or null when the builder was inert.
  const BindingTypeInfo* Finish();

 private:
  BindingRegistry* registry_;
  std::unique_ptr<BindingTypeInfo> info_;
};

}  // namespace Varn

#endif  // ZEK_BINDING_BINDING_TYPE_BUILDER_H_

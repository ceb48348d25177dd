#include "binding/binding_type_builder.h"

#include <algorithm>
#include <string>
#include <utility>

#include "binding/binding_registry.h"

namespace Varn {

BindingTypeBuilder::BindingTypeBuilder(BindingRegistry* registry,
                                       std::unique_ptr<BindingTypeInfo> info)
    : registry_(registry), info_(std::move(info)) {}

BindingTypeBuilder::BindingTypeBuilder(BindingTypeBuilder&& other) noexcept
    : registry_(other.registry_), info_(std::move(other.info_)) {}

BindingTypeBuilder::~BindingTypeBuilder() { (void)Finish(); }

BindingTypeBuilder& BindingTypeBuilder::Description(std::string_view description) {
  if (info_) info_->description = description;
  return *this;
}

BindingTypeBuilder& BindingTypeBuilder::NameSpace(std::string_view name_space) {
  if (info_) info_->nameSpace = name_space;
  return *this;
}

BindingTypeBuilder& BindingTypeBuilder::Tag(std::string_view tag) {
  if (info_) info_->tags.emplace_back(tag);
  return *this;
}

BindingTypeBuilder& BindingTypeBuilder::UnsignedStorage(bool unsigned_storage) {
  if (info_) info_->unsignedStorage = unsigned_storage;
  return *this;
}

BindingTypeBuilder& BindingTypeBuilder::AddField(
    std::string_view name, std::string_view description, size_t offset, const StaticType& type,
    NativeKind kind, NativeKind element_kind, uint32_t flags, const BindingConverter* converter,
    const StaticType* element_type, const BindingContainerOps* container) {
  if (!info_) return *this;
  for (const BindingFieldInfo& existing : info_->fields) {
    if (existing.name == name) return *this;
  }
  BindingFieldInfo field;
  field.name = name;
  field.nameHash = Fnv1a(name);
  field.description = description;
  field.offset = offset;
  field.staticType = &type;
  field.kind = kind;
  field.elementKind = element_kind;
  field.flags = flags;
  field.converter = converter;
  field.container = container;
  if (element_type != nullptr) field.typeInfo = registry_->FindType(element_type->HashCode());
  info_->fields.push_back(std::move(field));
  return *this;
}

BindingTypeBuilder& BindingTypeBuilder::AddEnumValue(std::string_view name, int32_t value,
                                                     std::string_view description) {
  if (!info_) return *this;
  auto& enumerators = info_->enumerators;
  auto it =
      std::lower_bound(enumerators.begin(), enumerators.end(), name,
                       [](const BindingEnumerator& e, std::string_view n) { return e.name < n; });
  if (it != enumerators.end() && it->name == name) return *this;
  enumerators.insert(it, BindingEnumerator{std::string(name), value, std::string(description)});
  return *this;
}

const BindingTypeInfo* BindingTypeBuilder::Finish() {
  if (!info_) return nullptr;
  return registry_->Publish(std::move(info_));
}

}  // namespace Varn

#include "binding/binding_registry.h"

#include <utility>

#include "binding/builtin_types.h"

namespace Varn {

BindingRegistry::BindingRegistry() { RegisterBuiltinTypes(*this); }

BindingRegistry::~BindingRegistry() = default;

BindingTypeBuilder BindingRegistry::DeclareStructure(std::string_view name, const StaticType& type,
                                                     size_t size) {
  return Declare(BindingTypeKind::Structure, name, type, size);
}

BindingTypeBuilder BindingRegistry::DeclareEnum(std::string_view name, const StaticType& type,
                                                size_t storage_size, bool unsigned_storage) {
  BindingTypeBuilder builder = Declare(BindingTypeKind::Enumeration, name, type, storage_size);
  builder.UnsignedStorage(unsigned_storage);
  return builder;
}

BindingTypeBuilder BindingRegistry::Declare(BindingTypeKind kind, std::string_view name,
                                            const StaticType& type, size_t size) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (typesByName_.find(name) != typesByName_.end()) return BindingTypeBuilder(this, nullptr);
  }
  auto info = std::make_unique<BindingTypeInfo>();
  info->typeKind = kind;
  info->size = size;
  info->hashCode = type.HashCode();
  info->name = name;
  info->registry = this;
  return BindingTypeBuilder(this, std::move(info));
}

const BindingTypeInfo* BindingRegistry::Publish(std::unique_ptr<BindingTypeInfo> info) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto named = typesByName_.find(info->name);
  if (named != typesByName_.end()) return named->second;
  const BindingTypeInfo* published = info.get();
  types_.push_back(std::move(info));
  typesByName_.emplace(published->name, published);
  // One C++ type registered under two names keeps its first registration for hash look-ups.
  typesByHash_.emplace(published->hashCode, published);
  return published;
}

const BindingTypeInfo* BindingRegistry::FindType(uint32_t hash_code) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = typesByHash_.find(hash_code);
  return it != typesByHash_.end() ? it->second : nullptr;
}

const BindingTypeInfo* BindingRegistry::FindTypeByName(std::string_view name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = typesByName_.find(name);
  return it != typesByName_.end() ? it->second : nullptr;
}

const char* BindingRegistry::EnumValueName(BindingEnumValue value) const {
  const BindingTypeInfo* type = FindType(value.typeHash);
  if (type == nullptr || type->typeKind != BindingTypeKind::Enumeration) return nullptr;
  // Published types never change, so the enumerators are read outside the lock.
  const BindingEnumerator* enumerator = type->FindEnumerator(value.value);
  return enumerator != nullptr ? enumerator->name.c_str() : nullptr;
}

std::vector<const BindingTypeInfo*> BindingRegistry::Types() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<const BindingTypeInfo*> types;
  types.reserve(types_.size());
  for (const auto& type : types_) types.push_back(type.get());
  return types;
}

const BindingEventInfo* BindingRegistry::AddEvent(BindingEventInfo event) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& existing : events_) {
    if (existing->nameSpace == event.nameSpace && existing->name == event.name) return nullptr;
  }
  events_.push_back(std::make_unique<BindingEventInfo>(std::move(event)));
  return events_.back().get();
}

const BindingEventInfo* BindingRegistry::FindEvent(std::string_view name_space,
                                                   std::string_view name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& event : events_) {
    if (event->nameSpace == name_space && event->name == name) return event.get();
  }
  return nullptr;
}

std::vector<const BindingEventInfo*> BindingRegistry::Events() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<const BindingEventInfo*> events;
  events.reserve(events_.size());
  for (const auto& event : events_) events.push_back(event.get());
  return events;
}

const BindingFunctionInfo* BindingRegistry::AddFunction(BindingFunctionInfo function) {
  std::lock_guard<std::mutex> lock(mutex_);
  functions_.push_back(std::make_unique<BindingFunctionInfo>(std::move(function)));
  return functions_.back().get();
}

std::vector<const BindingFunctionInfo*> BindingRegistry::Functions() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<const BindingFunctionInfo*> functions;
  functions.reserve(functions_.size());
  for (const auto& function : functions_) functions.push_back(function.get());
  return functions;
}

}  // namespace Varn

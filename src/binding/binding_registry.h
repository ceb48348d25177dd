// BindingRegistry: one plugin's API registry: its record and enumeration types (by name and by
// StaticType hash code) and the functions and events it describes. Every registry starts with
// the builtin "$builtin" types. Thread-safe: every lookup and registration takes one mutex.
// Pointers it hands out stay valid as long as the registry; nothing registered is removed.
#ifndef ZEK_BINDING_BINDING_REGISTRY_H_
#define ZEK_BINDING_BINDING_REGISTRY_H_

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "binding/binding_event_info.h"
#include "binding/binding_function_info.h"
#include "binding/binding_property.h"
#include "binding/binding_type_builder.h"
#include "binding/binding_type_info.h"
#include "binding/static_type.h"

namespace Varn {

class BindingRegistry final : public BindingEnumNames {
 public:
  BindingRegistry();
  ~BindingRegistry() override;
  BindingRegistry(const BindingRegistry&) = delete;
  BindingRegistry& operator=(const BindingRegistry&) = delete;

  // Begin a type; it is registered when the builder finishes (see BindingTypeBuilder). When a
  // type of that name exists already the builder is inert and says so through IsNew().
  // The typed forms in binding/binding_record_builder.h fill these from a C++ type.
  [[nodiscard]] BindingTypeBuilder DeclareStructure(std::string_view name, const StaticType& type,
                                                    size_t size);
  [[nodiscard]] BindingTypeBuilder DeclareEnum(std::string_view name, const StaticType& type,
                                               size_t storage_size, bool unsigned_storage = false);

  const BindingTypeInfo* FindType(uint32_t hash_code) const;
  const BindingTypeInfo* FindTypeByName(std::string_view name) const;
  // The first enumerator name, in name order, of that enumeration with that value; else null.
  const char* EnumValueName(BindingEnumValue value) const override;
  // Every registered type in registration order.
  std::vector<const BindingTypeInfo*> Types() const;

  // Null when an event of that name space and name exists already.
  const BindingEventInfo* AddEvent(BindingEventInfo event);
  const BindingEventInfo* FindEvent(std::string_view name_space, std::string_view name) const;
  std::vector<const BindingEventInfo*> Events() const;

  const BindingFunctionInfo* AddFunction(BindingFunctionInfo function);
  std::vector<const BindingFunctionInfo*> Functions() const;

 private:
  friend class BindingTypeBuilder;
  BindingTypeBuilder Declare(BindingTypeKind kind, std::string_view name, const StaticType& type,
                             size_t size);
  // Registers `info` unless its name was taken meanwhile; returns the registered type.
  const BindingTypeInfo* Publish(std::unique_ptr<BindingTypeInfo> info);

  mutable std::mutex mutex_;
  std::vector<std::unique_ptr<BindingTypeInfo>> types_;
  std::map<std::string, const BindingTypeInfo*, std::less<>> typesByName_;
  std::unordered_map<uint32_t, const BindingTypeInfo*> typesByHash_;
  std::vector<std::unique_ptr<BindingEventInfo>> events_;
  std::vector<std::unique_ptr<BindingFunctionInfo>> functions_;
};

}  // namespace Varn

#endif  // ZEK_BINDING_BINDING_REGISTRY_H_

// Typed declarations of native records and enumerations. Each field is named once, by its C++
// member; its offset, kind, element kind and referenced type are derived from the member, so a
// reader checks a declaration against the record at a glance:
//
//   DeclareEnum<LoginSessionState>(registry, "LoginSessionStates")
//       .Value("IN_PROGRESS", LoginSessionState::InProgress)
//       .Value("SUCCEEDED", LoginSessionState::Succeeded);
//   DeclareStructure<LoginSession>(registry, "LoginSession")
//       .Field(ZEK_MEMBER(LoginSession, state), "Session state")
//       .Field(ZEK_MEMBER(LoginSession, profileId), "Profile id", kBindingFieldRequired);
//
// Enum and struct members refer to types registered by earlier statements; a member whose type
// is not registered converts to an "unregistered structure" failure.
#ifndef ZEK_BINDING_BINDING_RECORD_BUILDER_H_
#define ZEK_BINDING_BINDING_RECORD_BUILDER_H_

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <type_traits>
#include <utility>

#include "binding/binding_registry.h"
#include "binding/binding_type_builder.h"
#include "binding/binding_type_info.h"
#include "binding/native_type_traits.h"
#include "binding/static_type.h"

// offsetof of a member of a record that is not standard-layout (it holds std::map, say) is
// conditionally supported; GCC and Clang give the right offset for records without virtual
// bases, which is all we declare.
#define ZEK_OFFSETOF(Record, member)                          \
  ([]() constexpr {                                           \
    _Pragma("GCC diagnostic push");                           \
    _Pragma("GCC diagnostic ignored \"-Winvalid-offsetof\""); \
    return offsetof(Record, member);                          \
    _Pragma("GCC diagnostic pop");                            \
  }())

// A member of `Record` for BindingRecordBuilder::Field, keyed by the member's own name.
#define ZEK_MEMBER(Record, member) ZEK_MEMBER_AS(Record, member, #member)
// The same, under another key.
#define ZEK_MEMBER_AS(Record, member, key) \
  (::Varn::BindingMember<Record, decltype(Record::member)>{key, ZEK_OFFSETOF(Record, member)})

namespace Varn {

template <class Record, class M>
struct BindingMember {
  std::string_view name;
  size_t offset;
};

template <class Record>
class BindingRecordBuilder {
 public:
  explicit BindingRecordBuilder(BindingTypeBuilder builder) : builder_(std::move(builder)) {}

  bool IsNew() const { return builder_.IsNew(); }

  BindingRecordBuilder& Description(std::string_view description) {
    builder_.Description(description);
    return *this;
  }
  BindingRecordBuilder& NameSpace(std::string_view name_space) {
    builder_.NameSpace(name_space);
    return *this;
  }
  BindingRecordBuilder& Tag(std::string_view tag) {
    builder_.Tag(tag);
    return *this;
  }

  // `flags`: kBindingFieldOmitIfDefault, kBindingFieldRequired. `converter`, when given,
  // replaces the built-in rules and must outlive the registry.
  template <class M>
  BindingRecordBuilder& Field(BindingMember<Record, M> member, std::string_view description,
                              uint32_t flags = 0, const BindingConverter* converter = nullptr) {
    using Traits = NativeTypeTraits<M>;
    constexpr NativeKind value_kind =
        Traits::kElementKind != NativeKind::None ? Traits::kElementKind : Traits::kKind;
    const StaticType* referenced = nullptr;
    if constexpr (value_kind == NativeKind::Enum || value_kind == NativeKind::Struct) {
      referenced = &StaticTypeOf<typename Traits::Element>();
    }
    builder_.AddField(member.name, description, member.offset, StaticTypeOf<M>(), Traits::kKind,
                      Traits::kElementKind, flags, converter, referenced, Traits::Container());
    return *this;
  }

  const BindingTypeInfo* Finish() { return builder_.Finish(); }

 private:
  BindingTypeBuilder builder_;
};

template <class Enum>
class BindingEnumBuilder {
 public:
  explicit BindingEnumBuilder(BindingTypeBuilder builder) : builder_(std::move(builder)) {}

  bool IsNew() const { return builder_.IsNew(); }

  BindingEnumBuilder& Description(std::string_view description) {
    builder_.Description(description);
    return *this;
  }
  BindingEnumBuilder& NameSpace(std::string_view name_space) {
    builder_.NameSpace(name_space);
    return *this;
  }
  BindingEnumBuilder& Tag(std::string_view tag) {
    builder_.Tag(tag);
    return *this;
  }
  BindingEnumBuilder& Value(std::string_view name, Enum value, std::string_view description = {}) {
    builder_.AddEnumValue(name, static_cast<int32_t>(value), description);
    return *this;
  }

  const BindingTypeInfo* Finish() { return builder_.Finish(); }

 private:
  BindingTypeBuilder builder_;
};

template <class Record>
[[nodiscard]] BindingRecordBuilder<Record> DeclareStructure(BindingRegistry& registry,
                                                            std::string_view name) {
  static_assert(std::is_class_v<Record> && std::is_default_constructible_v<Record>,
                "records are default-constructible classes");
  return BindingRecordBuilder<Record>(
      registry.DeclareStructure(name, StaticTypeOf<Record>(), sizeof(Record)));
}

template <class Enum>
[[nodiscard]] BindingEnumBuilder<Enum> DeclareEnum(BindingRegistry& registry,
                                                   std::string_view name) {
  static_assert(std::is_enum_v<Enum>, "DeclareEnum takes an enumeration");
  static_assert(sizeof(Enum) == 1 || sizeof(Enum) == 2 || sizeof(Enum) == 4 || sizeof(Enum) == 8,
                "enumerations are stored in 1, 2, 4 or 8 bytes");
  return BindingEnumBuilder<Enum>(registry.DeclareEnum(
      name, StaticTypeOf<Enum>(), sizeof(Enum), std::is_unsigned_v<std::underlying_type_t<Enum>>));
}

}  // namespace Varn

#endif  // ZEK_BINDING_BINDING_RECORD_BUILDER_H_

// BindingProperty: the one dynamically typed value of the system. Every request body, response,
// event payload, preference file and native record crosses the system's interfaces as a tree of
// these. A tree owns one BindingArena (interned strings and small-block pools); children share
// their root's arena. A tree is used by one thread at a time.
#ifndef ZEK_BINDING_BINDING_PROPERTY_H_
#define ZEK_BINDING_BINDING_PROPERTY_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "zek/plugin_abi.h"

namespace Varn {

enum class BindingPropertyType : uint8_t {
  Empty = 0,
  Bool = 1,
  Signed = 2,
  Unsigned = 3,
  Float = 4,
  String = 5,
  Blob = 6,
  Enum = 7,
  Collection = 8,
  Structure = 9,
};

// An enumerator: its value and the StaticType hash code of its enumeration. Two enum values are
// the same only when both match.
struct BindingEnumValue {
  int32_t value = 0;
  uint32_t typeHash = 0;
  friend bool operator==(const BindingEnumValue&, const BindingEnumValue&) = default;
};

// FNV-1a 32-bit, the one hash of the system (interned strings, member lookup, type hash codes).
// Every member name is hashed, so the loop takes four bytes a round: the same byte-by-byte
// steps, with a quarter of the loop overhead.
constexpr uint32_t Fnv1a(std::string_view text) {
  constexpr uint32_t kPrime = 0x01000193u;
  uint32_t hash = 0x811c9dc5u;
  const char* p = text.data();
  size_t n = text.size();
  for (; n >= 4; n -= 4, p += 4) {
    hash = (hash ^ static_cast<uint8_t>(p[0])) * kPrime;
    hash = (hash ^ static_cast<uint8_t>(p[1])) * kPrime;
    hash = (hash ^ static_cast<uint8_t>(p[2])) * kPrime;
    hash = (hash ^ static_cast<uint8_t>(p[3])) * kPrime;
  }
  for (; n != 0; --n, ++p) hash = (hash ^ static_cast<uint8_t>(*p)) * kPrime;
  return hash;
}

class BindingArena;
class BindingVisitor;
class BindingResult;
class BindingEnumNames;  // Looks up enumerator names for ToBoundary; the type registry is one.

// Interned string record: one per distinct non-empty text per arena. The text lives in the
// same allocation as the record, right behind it, so interning costs one allocation per text.
struct BindingString {
  std::string_view text;
  uint32_t hash = 0;
  uint32_t refCount = 0;
};

class BindingProperty {
 public:
  BindingProperty() = default;
  ~BindingProperty();
  // Deep copy into this value's own arena.
  BindingProperty(const BindingProperty& other);
  BindingProperty& operator=(const BindingProperty& other);
  // Exchanges arenas when both values own theirs, else deep-copies; the source ends Empty.
  BindingProperty(BindingProperty&& other) noexcept;
  BindingProperty& operator=(BindingProperty&& other) noexcept;

  // Setters reset the value first.
  void SetBool(bool value);
  void SetSigned(int64_t value);
  void SetUnsigned(uint64_t value);
  void SetFloat(double value);
  void SetString(std::string_view text);
  void SetBlob(std::span<const uint8_t> bytes);
  void SetBlob(const std::vector<uint8_t>& bytes);
  void SetBlob(std::vector<uint8_t>&& bytes);  // leaves `bytes` empty
  void SetEnum(BindingEnumValue value);
  // Leaves an existing collection (structure) untouched; otherwise resets and makes it empty.
  void MakeCollection();
  void MakeStructure();
  // Releases the payload; arena and ownership stay.
  void Reset();

  BindingPropertyType GetType() const { return type_; }
  static const char* TypeName(BindingPropertyType type);  // "" outside 0..9
  bool IsEmpty() const { return type_ == BindingPropertyType::Empty; }
  bool IsNullOrDefault() const;
  size_t Size() const;

  // Typed getters: the default whenever the kind differs.
  bool GetBool(bool def = false) const;
  int64_t GetSigned(int64_t def = 0) const;
  uint64_t GetUnsigned(uint64_t def = 0) const;
  double GetFloat(double def = 0.0) const;
  // The view stays valid until the value is reset or destroyed.
  std::string_view GetString(std::string_view def = {}) const;
  std::span<const uint8_t> GetBlob(std::span<const uint8_t> def = {}) const;
  BindingEnumValue GetEnum(BindingEnumValue def = {}) const;
  // Kinds 2 and 3 as their 64-bit pattern, kind 4 truncated toward zero.
  int64_t GetInteger(int64_t def = 0) const;

  // Makes this a collection and grows it with Empty elements until `index` exists.
  BindingProperty& At(size_t index);
  // The element, or a static Empty value when there is none.
  const BindingProperty& At(size_t index) const;
  // Appends one Empty element to a collection (making it one) and returns it.
  BindingProperty& Append();
  // Makes this a structure and returns the member, inserting an Empty one when missing.
  BindingProperty& Field(std::string_view name);

  // For decoders, whose texts must pass a check of their bytes (`accept`) before they enter a
  // tree: SetString and Field, where only a text that the tree does not hold yet is given to
  // `accept`. In a tree whose every text came in this way, a repeated string or key is then
  // checked once. When `accept` refuses, nothing changes: false, or null.
  using TextCheck = bool (*)(std::string_view text);
  [[nodiscard]] bool SetString(std::string_view text, TextCheck accept);
  [[nodiscard]] BindingProperty* Field(std::string_view name, TextCheck accept);
  // The member, or a static Empty value when there is none.
  const BindingProperty& Find(std::string_view name) const;
  // The member, or null when this is not a structure or has no such member.
  const BindingProperty* TryFind(std::string_view name) const;
  BindingProperty* TryFind(std::string_view name);
  // Grows a collection's storage; a count above 0x0FFFFFFF throws std::length_error.
  void Reserve(size_t count);

  // Calls fn(std::string_view key, value) for each member of a structure, in key order.
  // Does nothing for other kinds. `fn` must not add or remove members.
  template <class Fn>
  void ForEachMember(Fn&& fn) const {
    using F = std::remove_reference_t<Fn>;
    VisitMembers(
        [](void* ctx, std::string_view key, BindingProperty& value) {
          (*static_cast<F*>(ctx))(key, static_cast<const BindingProperty&>(value));
        },
        const_cast<F*>(&fn));
  }
  template <class Fn>
  void ForEachMember(Fn&& fn) {
    using F = std::remove_reference_t<Fn>;
    VisitMembers([](void* ctx, std::string_view key,
                    BindingProperty& value) { (*static_cast<F*>(ctx))(key, value); },
                 const_cast<F*>(&fn));
  }

  friend bool operator==(const BindingProperty& a, const BindingProperty& b);

  // The arena shared by this value's tree, null until a record was needed. For diagnostics.
  const BindingArena* GetArena() const { return arena_; }

  // Walks the tree in key and index order.
  void Accept(BindingVisitor& visitor) const;

  // ---- Boundary value form ----
  // Fills `cell` with owned copies; enums become their name (kind 6) when `names` knows it.
  static void ToBoundary(const BindingProperty& value, const BindingEnumNames* names,
                         PluginCell& cell);
  // Converts `cell` into `target`. On an incompatible kind the result's cell is released, its
  // error text set and its failed flag raised; conversion stops there. Returns !failed.
  static bool FromBoundary(PluginBoundaryResult& result, BindingProperty& target,
                           const PluginCell& cell, std::string_view field_name);
  // Frees what the cell owns and leaves it Empty.
  static void ReleaseBoundary(PluginCell& cell);

 private:
  // Layout and helpers below are the implementation's; see binding_property.cc.
  friend class BindingArena;
  friend struct BindingPropertyAccess;
  friend class BindingTreeBuilder;
  void EnsureArena();
  void GrowTo(size_t count);  // REQUIRES: a collection
  using MemberCallback = void (*)(void* ctx, std::string_view key, BindingProperty& value);
  void VisitMembers(MemberCallback callback, void* ctx) const;
  uint64_t payload_ = 0;
  BindingArena* arena_ = nullptr;
  BindingPropertyType type_ = BindingPropertyType::Empty;
  uint8_t ownsArena_ = 1;
};

// Display names of boundary cell kinds ("" for unknown kinds).
const char* CellKindName(uint32_t kind);

// A value or an error. A failed result holds a structure whose "error" member is the message.
class [[nodiscard]] BindingResult {
 public:
  BindingResult() = default;
  explicit BindingResult(const BindingProperty& v) : value(v) {}
  explicit BindingResult(BindingProperty&& v) : value(std::move(v)) {}
  BindingResult(const BindingResult&) = default;
  BindingResult& operator=(const BindingResult&) = default;
  BindingResult(BindingResult&&) noexcept = default;
  BindingResult& operator=(BindingResult&&) noexcept = default;

  static BindingResult Error(std::string_view message) {
    BindingResult result;
    result.SetError(message);
    return result;
  }

  void SetError(std::string_view message);
  bool IsOk() const { return ok; }
  std::string ErrorMessage() const;

  BindingProperty value;
  bool ok = true;
};

// The walk of a tree, one call per node; the YAML writer and renderers implement it.
class BindingVisitor {
 public:
  virtual void OnNull() = 0;
  virtual void OnBool(bool value) = 0;
  virtual void OnSigned(int64_t value) = 0;
  virtual void OnUnsigned(uint64_t value) = 0;
  virtual void OnFloat(double value) = 0;
  virtual void OnString(std::string_view text) = 0;
  virtual void OnBlob(std::span<const uint8_t> bytes) = 0;
  virtual void OnEnum(BindingEnumValue value) = 0;
  virtual void OnBeginCollection(size_t count) = 0;
  virtual void OnBeginElement(size_t index) = 0;
  virtual void OnEndElement(size_t index) = 0;
  virtual void OnEndCollection() = 0;
  virtual void OnBeginStructure(size_t count) = 0;
  virtual void OnKey(std::string_view key) = 0;
  virtual void OnEndMember(std::string_view key) = 0;
  virtual void OnEndStructure() = 0;
  virtual ~BindingVisitor() = default;
};

// Enumerator names for the boundary form and the YAML writer. Returns null when unknown.
class BindingEnumNames {
 public:
  virtual const char* EnumValueName(BindingEnumValue value) const = 0;
  virtual ~BindingEnumNames() = default;
};

}  // namespace Varn

#endif  // ZEK_BINDING_BINDING_PROPERTY_H_

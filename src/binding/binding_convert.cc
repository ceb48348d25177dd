#include "binding/binding_convert.h"

#include <cfloat>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "binding/binding_assign.h"
#include "binding/binding_registry.h"
#include "binding/message_format.h"

namespace Varn {

namespace {

constexpr std::string_view kRequired = "A value for '%1' is required.";
constexpr std::string_view kUnregisteredNative =
    "Couldn't convert native value because it's an unregistered structure.";
constexpr std::string_view kUnregisteredInput =
    "Couldn't assign value to '%1' because the input is an unregistered structure or not a "
    "structure at all.";
constexpr std::string_view kNotStructure =
    "Couldn't assign value to '%1' of type %2 because the input not a structure.";
constexpr std::string_view kMissingRequired =
    "Couldn't assign value to '%1' of type %2 because the input structure doesn't have required "
    "field '%3'.";
constexpr std::string_view kNotCollection =
    "Couldn't assign value to '%1' of type vector because the input not a collection.";
constexpr std::string_view kMapNotStructure =
    "Couldn't assign value to '%1' of type map because the input not a structure.";

template <class... Args>
void Fail(BindingResult& result, std::string_view format, const Args&... args) {
  result.SetError(FormatMessage(format, args...));
}

template <class T>
const T& At(const void* address) {
  return *static_cast<const T*>(address);
}

template <class T>
T& At(void* address) {
  return *static_cast<T*>(address);
}

bool IsContainerKind(NativeKind kind) {
  return kind == NativeKind::Vector || kind == NativeKind::Map;
}

// An enumeration stored in 8 bytes carries its value in the low 32 bits.
int32_t ReadEnum(const void* address, const BindingTypeInfo& type) {
  switch (type.size) {
    case 1:
      return type.unsignedStorage ? At<uint8_t>(address) : At<int8_t>(address);
    case 2:
      return type.unsignedStorage ? At<uint16_t>(address) : At<int16_t>(address);
    case 4:
      return At<int32_t>(address);
    case 8:
      return static_cast<int32_t>(static_cast<uint32_t>(At<int64_t>(address)));
    default:
      return 0;
  }
}

void WriteEnum(void* address, size_t size, int32_t value) {
  switch (size) {
    case 1:
      At<int8_t>(address) = static_cast<int8_t>(value);
      break;
    case 2:
      At<int16_t>(address) = static_cast<int16_t>(value);
      break;
    case 4:
      At<int32_t>(address) = value;
      break;
    case 8:
      At<int64_t>(address) = value;
      break;
    default:
      break;
  }
}

void RecordToBinding(BindingResult& result, const void* record, const BindingTypeInfo* type,
                     BindingProperty& out);

// Converts the native value of `kind` at `address`; `field` supplies the element kind, the
// referenced type and the container operations. On failure `out` is left partly filled.
void ValueToBinding(BindingResult& result, NativeKind kind, const BindingFieldInfo& field,
                    const void* address, BindingProperty& out) {
  switch (kind) {
    case NativeKind::Bool:
      out.SetBool(At<bool>(address));
      return;
    case NativeKind::Int8:
      out.SetSigned(At<int8_t>(address));
      return;
    case NativeKind::Int16:
      out.SetSigned(At<int16_t>(address));
      return;
    case NativeKind::Int32:
      out.SetSigned(At<int32_t>(address));
      return;
    case NativeKind::Int64:
      out.SetSigned(At<int64_t>(address));
      return;
    case NativeKind::Uint8:
      out.SetUnsigned(At<uint8_t>(address));
      return;
    case NativeKind::Uint16:
      out.SetUnsigned(At<uint16_t>(address));
      return;
    case NativeKind::Uint32:
    case NativeKind::Callback:
      out.SetUnsigned(At<uint32_t>(address));
      return;
    case NativeKind::Uint64:
      out.SetUnsigned(At<uint64_t>(address));
      return;
    case NativeKind::Float:
      out.SetFloat(At<float>(address));
      return;
    case NativeKind::Double:
      out.SetFloat(At<double>(address));
      return;
    case NativeKind::String:
      out.SetString(At<std::string>(address));
      return;
    case NativeKind::Object:
      out = At<BindingProperty>(address);
      return;
    case NativeKind::Blob:
      out.SetBlob(std::span<const uint8_t>(At<std::vector<uint8_t>>(address)));
      return;
    case NativeKind::Enum:
      if (field.typeInfo == nullptr) break;
      out.SetEnum(BindingEnumValue{ReadEnum(address, *field.typeInfo), field.typeInfo->hashCode});
      return;
    case NativeKind::Struct:
      RecordToBinding(result, address, field.typeInfo, out);
      return;
    case NativeKind::Vector: {
      if (field.container == nullptr || IsContainerKind(field.elementKind)) break;
      out.MakeCollection();
      const size_t count = field.container->size(address);
      out.Reserve(count);
      for (size_t i = 0; i < count && result.IsOk(); ++i) {
        ValueToBinding(result, field.elementKind, field, field.container->constElement(address, i),
                       out.Append());
      }
      return;
    }
    case NativeKind::Map: {
      if (field.container == nullptr || IsContainerKind(field.elementKind)) break;
      out.MakeStructure();
      struct Walk {
        BindingResult& result;
        const BindingFieldInfo& field;
        BindingProperty& out;
      } walk{result, field, out};
      field.container->forEach(
          address, &walk, [](void* ctx, std::string_view key, const void* element) {
            auto& w = *static_cast<Walk*>(ctx);
            ValueToBinding(w.result, w.field.elementKind, w.field, element, w.out.Field(key));
            return w.result.IsOk();
          });
      return;
    }
    default:
      break;
  }
  Fail(result, kUnregisteredNative);
}

void RecordToBinding(BindingResult& result, const void* record, const BindingTypeInfo* type,
                     BindingProperty& out) {
  if (type == nullptr || type->typeKind != BindingTypeKind::Structure) {
    Fail(result, kUnregisteredNative);
    return;
  }
  out.MakeStructure();
  const auto* base = static_cast<const uint8_t*>(record);
  for (const BindingFieldInfo& field : type->fields) {
    if (!result.IsOk()) return;
    const void* address = base + field.offset;
    if ((field.flags & kBindingFieldOmitIfDefault) == 0) {
      NativeToBinding(result, field, address, out.Field(field.name));
      continue;
    }
    // Only a finished value tells whether it is default, so it is built aside first.
    BindingProperty value;
    NativeToBinding(result, field, address, value);
    if (result.IsOk() && !value.IsNullOrDefault()) out.Field(field.name) = std::move(value);
  }
}

template <class T>
void StoreSigned(BindingResult& result, const BindingProperty& value, std::string_view name,
                 NativeKind kind, void* address) {
  int64_t v = AssignSigned(result, value, name, std::numeric_limits<T>::min(),
                           std::numeric_limits<T>::max(), NativeKindName(kind));
  if (result.IsOk()) At<T>(address) = static_cast<T>(v);
}

template <class T>
void StoreUnsigned(BindingResult& result, const BindingProperty& value, std::string_view name,
                   std::string_view type_name, void* address) {
  uint64_t v = AssignUnsigned(result, value, name, std::numeric_limits<T>::max(), type_name);
  if (result.IsOk()) At<T>(address) = static_cast<T>(v);
}

void ValueFromBinding(BindingResult& result, NativeKind kind, const BindingFieldInfo& field,
                      const BindingProperty& value, std::string_view name,
                      const BindingEnumNames* names, void* address) {
  switch (kind) {
    case NativeKind::Bool: {
      bool v = AssignBool(result, value, name);
      if (result.IsOk()) At<bool>(address) = v;
      return;
    }
    case NativeKind::Int8:
      return StoreSigned<int8_t>(result, value, name, kind, address);
    case NativeKind::Int16:
      return StoreSigned<int16_t>(result, value, name, kind, address);
    case NativeKind::Int32:
      return StoreSigned<int32_t>(result, value, name, kind, address);
    case NativeKind::Int64:
      return StoreSigned<int64_t>(result, value, name, kind, address);
    case NativeKind::Uint8:
      return StoreUnsigned<uint8_t>(result, value, name, NativeKindName(kind), address);
    case NativeKind::Uint16:
      return StoreUnsigned<uint16_t>(result, value, name, NativeKindName(kind), address);
    case NativeKind::Uint32:
    case NativeKind::Callback:
      return StoreUnsigned<uint32_t>(result, value, name, NativeKindName(kind), address);
    case NativeKind::Uint64:
      return StoreUnsigned<uint64_t>(result, value, name, NativeKindName(kind), address);
    case NativeKind::Float: {
      double v = AssignDouble(result, value, name, -static_cast<double>(FLT_MAX),
                              static_cast<double>(FLT_MAX), NativeKindName(kind));
      if (result.IsOk()) At<float>(address) = static_cast<float>(v);
      return;
    }
    case NativeKind::Double: {
      double v = AssignDouble(result, value, name, -DBL_MAX, DBL_MAX, NativeKindName(kind));
      if (result.IsOk()) At<double>(address) = v;
      return;
    }
    case NativeKind::String: {
      std::string_view v = AssignString(result, value, name, names);
      if (result.IsOk()) At<std::string>(address).assign(v);
      return;
    }
    case NativeKind::Object:
      At<BindingProperty>(address) = value;
      return;
    case NativeKind::Blob: {
      std::vector<uint8_t> v = AssignBlob(result, value, name);
      if (result.IsOk()) At<std::vector<uint8_t>>(address) = std::move(v);
      return;
    }
    case NativeKind::Enum: {
      if (field.typeInfo == nullptr || field.typeInfo->typeKind != BindingTypeKind::Enumeration) {
        break;
      }
      int32_t v = AssignEnum(result, value, name, *field.typeInfo);
      if (result.IsOk()) WriteEnum(address, field.typeInfo->size, v);
      return;
    }
    case NativeKind::Struct:
      FromBinding(result, value, name, field.typeInfo, address);
      return;
    case NativeKind::Vector: {
      if (field.container == nullptr || IsContainerKind(field.elementKind)) break;
      if (value.GetType() != BindingPropertyType::Collection) {
        Fail(result, kNotCollection, name);
        return;
      }
      const size_t count = value.Size();
      field.container->clearAndResize(address, count);
      for (size_t i = 0; i < count && result.IsOk(); ++i) {
        const BindingProperty& element = value.At(i);
        if (element.IsEmpty()) continue;  // keeps the default element
        ValueFromBinding(result, field.elementKind, field, element, name, names,
                         field.container->element(address, i));
      }
      return;
    }
    case NativeKind::Map: {
      if (field.container == nullptr || IsContainerKind(field.elementKind)) break;
      if (value.GetType() != BindingPropertyType::Structure) {
        Fail(result, kMapNotStructure, name);
        return;
      }
      value.ForEachMember([&](std::string_view key, const BindingProperty& member) {
        if (!result.IsOk()) return;
        ValueFromBinding(result, field.elementKind, field, member, name, names,
                         field.container->slot(address, key));
      });
      return;
    }
    default:
      break;
  }
  Fail(result, kUnregisteredInput, name);
}

}  // namespace

BindingResult ToBinding(const void* record, const BindingTypeInfo* type) {
  BindingResult result;
  // Built aside: a failure resets the result's value, which must not pull a half-built tree
  // from under the conversion.
  BindingProperty out;
  RecordToBinding(result, record, type, out);
  if (result.IsOk()) result.value = std::move(out);
  return result;
}

void FromBinding(BindingResult& result, const BindingProperty& value, std::string_view field_name,
                 const BindingTypeInfo* type, void* record) {
  if (!result.IsOk()) return;
  if (value.IsEmpty()) {
    Fail(result, kRequired, field_name);
    return;
  }
  if (type == nullptr || type->typeKind != BindingTypeKind::Structure) {
    Fail(result, kUnregisteredInput, field_name);
    return;
  }
  if (value.GetType() != BindingPropertyType::Structure) {
    Fail(result, kNotStructure, field_name, type->name);
    return;
  }
  auto* base = static_cast<uint8_t*>(record);
  for (const BindingFieldInfo& field : type->fields) {
    if (!result.IsOk()) return;
    const BindingProperty& member = value.Find(field.name);
    if (member.IsEmpty()) {
      if ((field.flags & kBindingFieldRequired) != 0) {
        Fail(result, kMissingRequired, field_name, type->name, field.name);
      }
      continue;
    }
    AssignNative(result, member, field.name, field, type->registry, base + field.offset);
  }
}

void NativeToBinding(BindingResult& result, const BindingFieldInfo& field, const void* address,
                     BindingProperty& out) {
  if (!result.IsOk()) return;
  if (field.converter != nullptr) {
    field.converter->ToBinding(result, address, out);
    return;
  }
  ValueToBinding(result, field.kind, field, address, out);
}

void AssignNative(BindingResult& result, const BindingProperty& value, std::string_view field_name,
                  const BindingFieldInfo& field, const BindingEnumNames* names, void* address) {
  if (!result.IsOk()) return;
  if (field.converter != nullptr) {
    field.converter->FromBinding(result, value, field_name, address);
    return;
  }
  ValueFromBinding(result, field.kind, field, value, field_name, names, address);
}

}  // namespace Varn

// NativeKind: how a record field or container element is stored natively, which decides the
// conversion rule applied to it.
#ifndef ZEK_BINDING_NATIVE_KIND_H_
#define ZEK_BINDING_NATIVE_KIND_H_

#include <cstdint>

namespace Varn {

enum class NativeKind : uint8_t {
  None = 0,
  Bool = 1,       // bool
  Int8 = 2,       // int8_t
  Uint8 = 3,      // uint8_t
  Int16 = 4,      // int16_t
  Uint16 = 5,     // uint16_t
  Int32 = 6,      // int32_t
  Uint32 = 7,     // uint32_t
  Int64 = 8,      // int64_t
  Uint64 = 9,     // uint64_t
  Float = 10,     // float
  Double = 11,    // double
  String = 12,    // std::string
  Object = 13,    // BindingProperty
  Blob = 14,      // std::vector<uint8_t>
  Vector = 15,    // std::vector of the element kind
  Enum = 16,      // a registered enumeration stored in 1, 2, 4 or 8 bytes
  Struct = 17,    // a registered record
  Callback = 18,  // a callback handle: its uint32_t id
  Map = 19,       // std::map from std::string to the element kind
};

// The kind's spelling ("bool", "int8", ... "map"); "" for values outside 1..19.
const char* NativeKindName(NativeKind kind);

}  // namespace Varn

#endif  // ZEK_BINDING_NATIVE_KIND_H_

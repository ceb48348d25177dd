#include "binding/msgpack_reader.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>
#include <type_traits>
#include <vector>

#include "binding/message_format.h"
#include "binding/utf8.h"

namespace Varn {
namespace {

constexpr std::string_view kInvalidFormat = "Invalid MessagePack data at position %1.";
constexpr std::string_view kKeyNotStringFormat =
    "Invalid MessagePack data at position %1. Map keys must be strings.";
constexpr std::string_view kTruncated8Format =
    "Invalid MessagePack data. 8-bit integer value at position %1 is truncated.";
constexpr std::string_view kTruncated16Format =
    "Invalid MessagePack data. 16-bit integer value at position %1 is truncated.";
constexpr std::string_view kTruncated32Format =
    "Invalid MessagePack data. 32-bit integer value at position %1 is truncated.";
constexpr std::string_view kTruncated64Format =
    "Invalid MessagePack data. 64-bit integer value at position %1 is truncated.";
constexpr std::string_view kStringTruncatedFormat =
    "Invalid MessagePack data. String of size %1 at position %2 is truncated.";
constexpr std::string_view kRawTruncatedFormat =
    "Invalid MessagePack data. Raw bytes of size %1 at position %2 are truncated.";
constexpr std::string_view kInvalidUtf8Format =
    "Invalid MessagePack data. Invalid UTF-8 in string at position %1.";
constexpr std::string_view kDepthFormat =
    "Invalid MessagePack data. Maximum nesting depth of %1 exceeded at position %2.";

// What a format byte starts. Multi-byte payloads, lengths and counts are big-endian.
enum class ByteClass : uint8_t {
  kFixint,  // 0x00-0x7f and 0xe0-0xff: the byte itself, sign-extended
  kFixmap,
  kFixarray,
  kFixstr,
  kNil,
  kFalse,
  kTrue,
  kBin8,
  kBin16,
  kBin32,
  kFloat32,
  kFloat64,
  kUint8,
  kUint16,
  kUint32,
  kUint64,
  kInt8,
  kInt16,
  kInt32,
  kInt64,
  kStr8,
  kStr16,
  kStr32,
  kArray16,
  kArray32,
  kMap16,
  kMap32,
  kRejected,  // 0xc1 (never used) and the ext family 0xc7-0xc9, 0xd4-0xd8
};

constexpr std::array<ByteClass, 256> MakeClassTable() {
  std::array<ByteClass, 256> table{};
  for (int b = 0; b < 256; ++b) {
    ByteClass c = ByteClass::kRejected;
    if (b <= 0x7f || b >= 0xe0) {
      c = ByteClass::kFixint;
    } else if (b <= 0x8f) {
      c = ByteClass::kFixmap;
    } else if (b <= 0x9f) {
      c = ByteClass::kFixarray;
    } else if (b <= 0xbf) {
      c = ByteClass::kFixstr;
    }
    table[b] = c;
  }
  table[0xc0] = ByteClass::kNil;
  table[0xc2] = ByteClass::kFalse;
  table[0xc3] = ByteClass::kTrue;
  table[0xc4] = ByteClass::kBin8;
  table[0xc5] = ByteClass::kBin16;
  table[0xc6] = ByteClass::kBin32;
  table[0xca] = ByteClass::kFloat32;
  table[0xcb] = ByteClass::kFloat64;
  table[0xcc] = ByteClass::kUint8;
  table[0xcd] = ByteClass::kUint16;
  table[0xce] = ByteClass::kUint32;
  table[0xcf] = ByteClass::kUint64;
  table[0xd0] = ByteClass::kInt8;
  table[0xd1] = ByteClass::kInt16;
  table[0xd2] = ByteClass::kInt32;
  table[0xd3] = ByteClass::kInt64;
  table[0xd9] = ByteClass::kStr8;
  table[0xda] = ByteClass::kStr16;
  table[0xdb] = ByteClass::kStr32;
  table[0xdc] = ByteClass::kArray16;
  table[0xdd] = ByteClass::kArray32;
  table[0xde] = ByteClass::kMap16;
  table[0xdf] = ByteClass::kMap32;
  return table;
}

constexpr std::array<ByteClass, 256> kClassOf = MakeClassTable();

// Collections never grow beyond this many elements.
constexpr uint64_t kMaxReserve = 0x0FFFFFFF;

class MsgPackReader {
 public:
  MsgPackReader(const uint8_t* bytes, size_t size) : bytes_(bytes), size_(size) {
    frames_.reserve(16);
  }

  // Decodes into result.value; returns the position where decoding stopped.
  size_t Run(BindingResult& result);
  bool complete() const { return complete_; }

 private:
  // An open collection or structure. Maps count keys and values as separate items.
  struct Frame {
    BindingProperty* target;
    uint64_t remaining;    // items announced and not yet read
    uint64_t index;        // next element of a collection
    uint64_t existing;     // elements a collection already held (a repeated map key)
    std::string_view key;  // last key read; points into the input
    bool is_map;
    bool expect_key;
  };

  // Each Read* checks that the payload is there, records the message of a short read in
  // error_ and returns false.
  template <class T>
  bool ReadInt(T& out);
  [[gnu::noinline]] void FailTruncated(size_t size);
  bool ReadBytes(uint64_t length, std::string_view format, const uint8_t*& out);
  bool ReadLength(ByteClass c, uint64_t& length);
  // Strings and keys must be well-formed UTF-8: a tree holding anything else could not be
  // written back to a preferences file. The tree is the reader's own, so the check runs once
  // for each distinct text, as it enters the tree (BindingProperty::SetString with a check).
  static bool IsText(std::string_view text) { return IsValidUtf8(text); }
  // Records the refusal of `text`, which points into the input.
  [[gnu::noinline]] bool FailText(std::string_view text) {
    return FailText(text, FindInvalidUtf8(text));
  }
  [[gnu::noinline]] bool FailText(std::string_view text, size_t bad);
  bool ReadKey(Frame& frame, ByteClass c);
  bool ReadValue(BindingProperty& target, ByteClass c);
  bool Open(BindingProperty& target, bool is_map, uint64_t entries);
  bool Fail(std::string message) {
    error_ = std::move(message);
    return false;
  }

  const uint8_t* bytes_;
  size_t size_;
  size_t pos_ = 0;
  std::vector<Frame> frames_;
  // Items the open containers still announce. Each takes at least one byte, so a well-formed
  // input holds them all in what is left; reservations stay within that bound.
  uint64_t outstanding_ = 0;
  std::string error_;
  bool complete_ = false;
};

// Decoding stops at the ill-formed byte, as it stops where a truncated payload begins.
bool MsgPackReader::FailText(std::string_view text, size_t bad) {
  pos_ = static_cast<size_t>(reinterpret_cast<const uint8_t*>(text.data()) - bytes_) + bad;
  return Fail(FormatMessage(kInvalidUtf8Format, static_cast<uint64_t>(pos_)));
}

void MsgPackReader::FailTruncated(size_t size) {
  const std::string_view format = size == 1   ? kTruncated8Format
                                  : size == 2 ? kTruncated16Format
                                  : size == 4 ? kTruncated32Format
                                              : kTruncated64Format;
  error_ = FormatMessage(format, static_cast<uint64_t>(pos_));
}

template <class T>
inline bool MsgPackReader::ReadInt(T& out) {
  constexpr size_t kSize = sizeof(T);
  if (size_ - pos_ < kSize) [[unlikely]] {
    FailTruncated(kSize);
    return false;
  }
  // Big-endian: one load and a byte swap.
  static_assert(std::endian::native == std::endian::little);
  using U = std::make_unsigned_t<T>;
  U value;
  std::memcpy(&value, bytes_ + pos_, kSize);
  if constexpr (kSize == 2) {
    value = __builtin_bswap16(value);
  } else if constexpr (kSize == 4) {
    value = __builtin_bswap32(value);
  } else if constexpr (kSize == 8) {
    value = __builtin_bswap64(value);
  }
  out = static_cast<T>(value);
  pos_ += kSize;
  return true;
}

bool MsgPackReader::ReadBytes(uint64_t length, std::string_view format, const uint8_t*& out) {
  if (size_ - pos_ < length) {
    return Fail(FormatMessage(format, length, static_cast<uint64_t>(pos_)));
  }
  out = bytes_ + pos_;
  pos_ += static_cast<size_t>(length);
  return true;
}

// The length word of a str or bin, or the count of an array or map.
bool MsgPackReader::ReadLength(ByteClass c, uint64_t& length) {
  switch (c) {
    case ByteClass::kStr8:
    case ByteClass::kBin8: {
      uint8_t n;
      if (!ReadInt(n)) return false;
      length = n;
      return true;
    }
    case ByteClass::kStr16:
    case ByteClass::kBin16:
    case ByteClass::kArray16:
    case ByteClass::kMap16: {
      uint16_t n;
      if (!ReadInt(n)) return false;
      length = n;
      return true;
    }
    default: {
      uint32_t n;
      if (!ReadInt(n)) return false;
      length = n;
      return true;
    }
  }
}

bool MsgPackReader::ReadKey(Frame& frame, ByteClass c) {
  uint64_t length;
  if (c == ByteClass::kFixstr) {
    length = bytes_[pos_ - 1] & 0x1f;
  } else if (c == ByteClass::kStr8 || c == ByteClass::kStr16 || c == ByteClass::kStr32) {
    if (!ReadLength(c, length)) return false;
  } else {
    return Fail(FormatMessage(kKeyNotStringFormat, static_cast<uint64_t>(pos_)));
  }
  const uint8_t* text;
  if (!ReadBytes(length, kStringTruncatedFormat, text)) return false;
  frame.key = std::string_view(reinterpret_cast<const char*>(text), static_cast<size_t>(length));
  return true;
}

bool MsgPackReader::Open(BindingProperty& target, bool is_map, uint64_t entries) {
  uint64_t existing = 0;
  const uint64_t items = is_map ? entries * 2 : entries;
  // Storage is reserved only for counts the rest of the input can hold beside every count still
  // open: an input that announces billions of items in a few bytes gets nothing in advance, and
  // the reservations of a whole tree never exceed one element per input byte.
  const bool fits = outstanding_ + items <= size_ - pos_;
  if (is_map) {
    target.MakeStructure();
  } else {
    if (target.GetType() == BindingPropertyType::Collection) {
      existing = target.Size();
    } else {
      target.MakeCollection();
    }
    if (fits && entries > 1 && existing + entries <= kMaxReserve) {
      target.Reserve(static_cast<size_t>(existing + entries));
    }
  }
  outstanding_ += items;
  frames_.push_back({&target, items, 0, existing, {}, is_map, true});
  return true;
}

bool MsgPackReader::ReadValue(BindingProperty& target, ByteClass c) {
  const uint8_t format_byte = bytes_[pos_ - 1];
  switch (c) {
    case ByteClass::kFixint:
      target.SetSigned(static_cast<int64_t>(static_cast<int8_t>(format_byte)));
      return true;
    case ByteClass::kNil:
      target.Reset();
      return true;
    case ByteClass::kFalse:
    case ByteClass::kTrue:
      target.SetBool(c == ByteClass::kTrue);
      return true;
    case ByteClass::kUint8: {
      uint8_t v;
      if (!ReadInt(v)) return false;
      target.SetUnsigned(static_cast<uint64_t>(v));
      return true;
    }
    case ByteClass::kUint16: {
      uint16_t v;
      if (!ReadInt(v)) return false;
      target.SetUnsigned(static_cast<uint64_t>(v));
      return true;
    }
    case ByteClass::kUint32: {
      uint32_t v;
      if (!ReadInt(v)) return false;
      target.SetUnsigned(static_cast<uint64_t>(v));
      return true;
    }
    case ByteClass::kUint64: {
      uint64_t v;
      if (!ReadInt(v)) return false;
      target.SetUnsigned(v);
      return true;
    }
    case ByteClass::kInt8: {
      int8_t v;
      if (!ReadInt(v)) return false;
      target.SetSigned(static_cast<int64_t>(v));
      return true;
    }
    case ByteClass::kInt16: {
      int16_t v;
      if (!ReadInt(v)) return false;
      target.SetSigned(static_cast<int64_t>(v));
      return true;
    }
    case ByteClass::kInt32: {
      int32_t v;
      if (!ReadInt(v)) return false;
      target.SetSigned(static_cast<int64_t>(v));
      return true;
    }
    case ByteClass::kInt64: {
      int64_t v;
      if (!ReadInt(v)) return false;
      target.SetSigned(v);
      return true;
    }
    case ByteClass::kFloat32: {
      uint32_t bits;
      if (!ReadInt(bits)) return false;
      target.SetFloat(static_cast<double>(std::bit_cast<float>(bits)));
      return true;
    }
    case ByteClass::kFloat64: {
      uint64_t bits;
      if (!ReadInt(bits)) return false;
      target.SetFloat(std::bit_cast<double>(bits));
      return true;
    }
    case ByteClass::kFixstr:
    case ByteClass::kStr8:
    case ByteClass::kStr16:
    case ByteClass::kStr32: {
      uint64_t length = format_byte & 0x1f;
      if (c != ByteClass::kFixstr && !ReadLength(c, length)) return false;
      const uint8_t* text;
      if (!ReadBytes(length, kStringTruncatedFormat, text)) return false;
      const std::string_view view(reinterpret_cast<const char*>(text), static_cast<size_t>(length));
      return target.SetString(view, &IsText) || FailText(view);
    }
    case ByteClass::kBin8:
    case ByteClass::kBin16:
    case ByteClass::kBin32: {
      uint64_t length;
      if (!ReadLength(c, length)) return false;
      const uint8_t* data;
      if (!ReadBytes(length, kRawTruncatedFormat, data)) return false;
      target.SetBlob(std::span<const uint8_t>(data, static_cast<size_t>(length)));
      return true;
    }
    case ByteClass::kFixarray:
    case ByteClass::kFixmap:
    case ByteClass::kArray16:
    case ByteClass::kArray32:
    case ByteClass::kMap16:
    case ByteClass::kMap32: {
      if (frames_.size() >= kMsgPackMaxDepth) {
        return Fail(FormatMessage(kDepthFormat, static_cast<uint32_t>(kMsgPackMaxDepth),
                                  static_cast<uint64_t>(pos_)));
      }
      const bool is_map =
          c == ByteClass::kFixmap || c == ByteClass::kMap16 || c == ByteClass::kMap32;
      uint64_t entries = format_byte & 0x0f;
      if (c != ByteClass::kFixarray && c != ByteClass::kFixmap && !ReadLength(c, entries)) {
        return false;
      }
      return Open(target, is_map, entries);
    }
    case ByteClass::kRejected:
      break;
  }
  return Fail(FormatMessage(kInvalidFormat, static_cast<uint64_t>(pos_)));
}

size_t MsgPackReader::Run(BindingResult& result) {
  bool root_pending = true;
  while (pos_ < size_) {
    BindingProperty* target;
    if (frames_.empty()) {
      if (!root_pending) break;
      root_pending = false;
      target = &result.value;
    } else {
      Frame& frame = frames_.back();
      if (frame.remaining == 0) {
        frames_.pop_back();
        continue;
      }
      --frame.remaining;
      --outstanding_;
      if (!frame.is_map) {
        // Placing by index lets a repeated map key write a nested array over the earlier one.
        const uint64_t index = frame.index++;
        target = index < frame.existing ? &frame.target->At(static_cast<size_t>(index))
                                        : &frame.target->Append();
      } else if (frame.expect_key) {
        frame.expect_key = false;
        const uint8_t format_byte = bytes_[pos_++];
        if ((format_byte & 0xe0) == 0xa0) {  // fixstr, the usual key
          const size_t length = format_byte & 0x1f;
          if (size_ - pos_ < length) {
            result.SetError(FormatMessage(kStringTruncatedFormat, static_cast<uint64_t>(length),
                                          static_cast<uint64_t>(pos_)));
            return pos_;
          }
          frame.key = std::string_view(reinterpret_cast<const char*>(bytes_ + pos_), length);
          pos_ += length;
          continue;
        }
        if (!ReadKey(frame, kClassOf[format_byte])) {
          result.SetError(error_);
          return pos_;
        }
        continue;
      } else {
        frame.expect_key = true;
        target = frame.target->Field(frame.key, &IsText);
        if (target == nullptr) [[unlikely]] {
          FailText(frame.key);
          result.SetError(error_);
          return pos_;
        }
      }
    }
    const uint8_t format_byte = bytes_[pos_++];
    if (format_byte <= 0x7f) {  // positive fixint
      target->SetSigned(static_cast<int64_t>(format_byte));
      continue;
    }
    if ((format_byte & 0xe0) == 0xa0) {  // fixstr
      const size_t length = format_byte & 0x1f;
      if (size_ - pos_ < length) {
        result.SetError(FormatMessage(kStringTruncatedFormat, static_cast<uint64_t>(length),
                                      static_cast<uint64_t>(pos_)));
        return pos_;
      }
      const std::string_view text(reinterpret_cast<const char*>(bytes_ + pos_), length);
      if (!target->SetString(text, &IsText)) [[unlikely]] {
        FailText(text);
        result.SetError(error_);
        return pos_;
      }
      pos_ += length;
      continue;
    }
    if (!ReadValue(*target, kClassOf[format_byte])) {
      result.SetError(error_);
      return pos_;
    }
  }
  // The value is whole when the root was read and every container got all it announced.
  complete_ = !root_pending;
  for (const Frame& frame : frames_) {
    if (frame.remaining != 0) complete_ = false;
  }
  return pos_;
}

}  // namespace

BindingResult ParseMsgPack(const void* bytes, size_t size, size_t* consumed, bool* complete) {
  BindingResult result;
  if (bytes == nullptr) size = 0;
  MsgPackReader reader(static_cast<const uint8_t*>(bytes), size);
  const size_t stop = reader.Run(result);
  if (consumed != nullptr) *consumed = stop;
  if (complete != nullptr) *complete = result.IsOk() && reader.complete();
  return result;
}

}  // namespace Varn

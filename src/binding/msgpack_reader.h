// ParseMsgPack: one MessagePack value into a BindingProperty tree. Bodies of MessagePack content
// arrive through it, so the input is untrusted: the reader is iterative, caps nesting, never
// allocates from a count or length the input announces, and names the byte position of every
// fault.
#ifndef ZEK_BINDING_MSGPACK_READER_H_
#define ZEK_BINDING_MSGPACK_READER_H_

#include <cstddef>

#include "binding/binding_property.h"

namespace Varn {

// Containers nested deeper than this fail the parse.
inline constexpr size_t kMsgPackMaxDepth = 1000;

// Decodes the value at the front of `bytes`. Bytes after it are not read.
// Positive fixints decode as Signed, uint 8..64 as Unsigned; ext types are rejected; map keys
// must be strings, and a repeated key addresses the same member. Strings and keys must be
// well-formed UTF-8 ("Invalid MessagePack data. Invalid UTF-8 in string at position <offset of
// the first ill-formed byte>."); blobs are bytes and are not checked.
// Input that ends inside a container is not an error: the result is ok and holds the items read
// so far. `consumed` (when given) receives the position where decoding stopped; `complete` (when
// given) is set true only when the whole value was read without error.
[[nodiscard]] BindingResult ParseMsgPack(const void* bytes, size_t size, size_t* consumed = nullptr,
                                         bool* complete = nullptr);

}  // namespace Varn

#endif  // ZEK_BINDING_MSGPACK_READER_H_

// The operating system's side of the page pool: reserving and releasing whole regions of
// committed, readable and writable memory. The one platform-specific file of the value arena.
#ifndef ZEK_BINDING_REGION_MEMORY_H_
#define ZEK_BINDING_REGION_MEMORY_H_

#include <cstddef>

namespace Varn {

// A page-aligned region of `bytes` bytes, zero-filled, or null when the system refuses.
[[nodiscard]] void* ReserveRegion(size_t bytes);
// Returns a region obtained from ReserveRegion with the same size.
void ReleaseRegion(void* base, size_t bytes);

}  // namespace Varn

#endif  // ZEK_BINDING_REGION_MEMORY_H_

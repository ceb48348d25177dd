#include "binding/region_memory.h"

#include <sys/mman.h>

namespace Varn {

void* ReserveRegion(size_t bytes) {
  // Every page of a region is written soon after it is reserved; faulting them all in with the
  // mapping costs one kernel entry instead of one fault per page.
  void* base = mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                    MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
  return base == MAP_FAILED ? nullptr : base;
}

void ReleaseRegion(void* base, size_t bytes) { munmap(base, bytes); }

}  // namespace Varn

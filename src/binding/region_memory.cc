#include "binding/region_memory.h"

#include <sys/mman.h>

namespace Varn {

void* ReserveRegion(size_t bytes) {
  void* base = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return base == MAP_FAILED ? nullptr : base;
}

void ReleaseRegion(void* base, size_t bytes) { munmap(base, bytes); }

}  // namespace Varn

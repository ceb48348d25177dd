#include "runtime/log_category_table.h"

namespace Varn {

uint64_t LogCategoryTable::Register(std::string_view name) {
  uint32_t packed = Pack(name);
  if (packed == 0) return 0;
  // Registration is rare; the lock keeps two threads that register the same new name from
  // taking two entries for it.
  std::lock_guard<std::mutex> lock(register_mutex_);
  int last = last_index_.load(std::memory_order_relaxed);
  for (int i = 0; i <= last; ++i) {
    if (names_[i].load(std::memory_order_relaxed) == packed) return uint64_t{1} << i;
  }
  if (last + 1 >= kCapacity) return 0;
  names_[last + 1].store(packed, std::memory_order_relaxed);
  last_index_.store(last + 1, std::memory_order_release);
  return uint64_t{1} << (last + 1);
}

std::string LogCategoryTable::Name(int index) const {
  uint32_t packed =
      index >= 0 && index < kCapacity ? names_[index].load(std::memory_order_acquire) : 0;
  if (packed == 0) return "???";
  std::string name;
  for (int i = 0; i < 3; ++i) {
    char c = static_cast<char>((packed >> (8 * i)) & 0xFF);
    if (c == 0) break;
    name += c;
  }
  return name;
}

LogCategoryTable& LogCategories() {
  static constinit LogCategoryTable table;
  return table;
}

uint64_t RegisterCategory(std::string_view name) { return LogCategories().Register(name); }

}  // namespace Varn

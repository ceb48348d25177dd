// The table of three-letter log category names; bit i of a category mask stands for entry i.
#ifndef ZEK_RUNTIME_LOG_CATEGORY_TABLE_H_
#define ZEK_RUNTIME_LOG_CATEGORY_TABLE_H_

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace Varn {

// Masks of the built-in categories.
inline constexpr uint64_t kCategoryDbg = 1;
inline constexpr uint64_t kCategoryGen = 2;
inline constexpr uint64_t kCategoryXtr = 4;
inline constexpr uint64_t kCategoryPrf = 8;
inline constexpr uint64_t kCategoryMem = 16;
inline constexpr uint64_t kCategoryDsk = 32;
inline constexpr uint64_t kCategoryNet = 64;
inline constexpr uint64_t kCategoryTst = 128;

// 64 entries; 0 to 7 are built in ("DBG" "GEN" "XTR" "PRF" "MEM" "DSK" "NET" "TST"), the rest
// are handed out in registration order and read "???" until then. Thread-safe; Name never
// blocks, so formatting a line does not wait for a registration.
class LogCategoryTable {
 public:
  static constexpr int kCapacity = 64;
  static constexpr int kBuiltInCount = 8;

  constexpr LogCategoryTable()
      : names_{Pack("DBG"), Pack("GEN"), Pack("XTR"), Pack("PRF"),
               Pack("MEM"), Pack("DSK"), Pack("NET"), Pack("TST")} {}

  // The mask of the category whose name matches the first three characters of `name`,
  // registering it at the next free index when there is none. Returns 0 for an empty name and
  // when all 64 entries are taken: such messages are then filtered by level alone instead of
  // sharing another category's bit.
  uint64_t Register(std::string_view name);

  // The three-letter name of entry `index` ("???" when unregistered or out of range).
  std::string Name(int index) const;

  // Index of the last registered entry (7 before any registration).
  int LastIndex() const { return last_index_.load(std::memory_order_acquire); }

 private:
  // A name packed into one word (three characters and a NUL) so that readers see an entry
  // whole, never half written. 0 marks an unregistered entry.
  static constexpr uint32_t Pack(std::string_view name) {
    uint32_t packed = 0;
    for (size_t i = 0; i < 3 && i < name.size(); ++i) {
      packed |= uint32_t{static_cast<unsigned char>(name[i])} << (8 * i);
    }
    return packed;
  }

  std::atomic<uint32_t> names_[kCapacity];
  std::atomic<int> last_index_{kBuiltInCount - 1};
  std::mutex register_mutex_;
};

// The process-wide table that log records' masks refer to.
LogCategoryTable& LogCategories();

// Registers `name` in the process-wide table; see LogCategoryTable::Register.
uint64_t RegisterCategory(std::string_view name);

}  // namespace Varn

#endif  // ZEK_RUNTIME_LOG_CATEGORY_TABLE_H_

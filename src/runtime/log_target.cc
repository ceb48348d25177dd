#include "runtime/log_target.h"

#include "runtime/logger.h"

namespace Varn {

LogTarget::~LogTarget() { LogTarget::Detach(); }

void LogTarget::Detach() {
  if (IsAttached()) Logger::Instance().Detach(this);
}

std::string LogTarget::Pattern() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return pattern_;
}

void LogTarget::Configure(int32_t minimum_level, uint64_t included, uint64_t excluded,
                          std::string_view pattern) {
  // The logger's lock is taken before a target's when records are written, so the target's
  // lock is never held while attaching or detaching.
  Detach();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    minimum_level_ = minimum_level;
    included_ = included;
    excluded_ = excluded;
    pattern_.assign(pattern);
  }
  Attach();
}

void LogTarget::Attach() { Logger::Instance().Attach(this); }

int32_t LogTarget::MinimumLevel() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return minimum_level_;
}

uint64_t LogTarget::IncludedCategories() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return included_;
}

uint64_t LogTarget::ExcludedCategories() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return excluded_;
}

bool LogTarget::Offer(const LogRecord& record) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (record.level < minimum_level_) return false;
  uint64_t mask = record.CategoryMask();
  // A record without a category is filtered by level alone.
  if (mask != 0) {
    if ((mask & excluded_) != 0) return false;
    if (included_ != 0 && (mask & included_) == 0) return false;
  }
  Write(record);
  return true;
}

}  // namespace Varn

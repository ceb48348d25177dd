#include "runtime/log_pattern.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "runtime/log_category_table.h"
#include "runtime/logger.h"
#include "runtime/runtime_platform.h"

namespace Varn {
namespace {

// Writes into the line while keeping two bytes free for the final line feed and NUL.
class LineWriter {
 public:
  explicit LineWriter(std::span<char, kLogBufferSize> line) : line_(line) {}

  void Append(std::string_view text) {
    size_t n = std::min(text.size(), kLimit - length_);
    std::memcpy(line_.data() + length_, text.data(), n);
    length_ += n;
  }
  void Append(char c) {
    if (length_ < kLimit) line_[length_++] = c;
  }
  template <class... Args>
  void AppendPrintf(const char* format, Args... args) {
    char piece[64];
    int n = std::snprintf(piece, sizeof(piece), format, args...);
    if (n > 0) Append(std::string_view(piece, std::min<size_t>(n, sizeof(piece) - 1)));
  }
  bool Full() const { return length_ == kLimit; }

  size_t Finish() {
    if (length_ == 0 || line_[length_ - 1] != '\n') line_[length_++] = '\n';
    line_[length_] = 0;
    return length_;
  }

 private:
  static constexpr size_t kLimit = kLogBufferSize - 2;
  std::span<char, kLogBufferSize> line_;
  size_t length_ = 0;
};

void AppendCategories(LineWriter& out, uint64_t mask) {
  bool first = true;
  for (int i = 0; i < LogCategoryTable::kCapacity && mask != 0; ++i) {
    if ((mask & (uint64_t{1} << i)) == 0) continue;
    mask &= ~(uint64_t{1} << i);
    if (!first) out.Append(';');
    out.Append(LogCategories().Name(i));
    first = false;
  }
}

}  // namespace

size_t ExpandPattern(std::string_view pattern, const LogRecord& record,
                     std::span<char, kLogBufferSize> line) {
  LineWriter out(line);
  for (size_t i = 0; i < pattern.size() && !out.Full(); ++i) {
    char c = pattern[i];
    if (c != '#') {
      out.Append(c);
      continue;
    }
    if (++i == pattern.size()) break;
    switch (pattern[i]) {
      case 'D': {
        const LogTime& t = record.time;
        out.AppendPrintf("%04d-%02d-%02dT%02d:%02d:%02d.%03d", t.year, t.month, t.day, t.hour,
                         t.minute, t.second, t.millisecond);
        break;
      }
      case 'E':
        out.Append(Logger::Instance().ExecutableName());
        break;
      case 'G':
        AppendCategories(out, record.CategoryMask());
        break;
      case 'H': {
        int64_t ms = Logger::Instance().MonotonicSinceStart() / 1000000;
        out.AppendPrintf("%06d.%03d", static_cast<int>(ms / 1000), static_cast<int>(ms % 1000));
        break;
      }
      case 'L':
        out.Append(LevelName(record.level));
        break;
      case 'M':
        out.Append(std::string_view(record.message, strnlen(record.message, kLogBufferSize - 1)));
        break;
      case 'T':
        out.AppendPrintf(
            "%p", reinterpret_cast<void*>(static_cast<uintptr_t>(Platform::CurrentThreadId())));
        break;
      default:
        out.Append(pattern[i]);
        break;
    }
  }
  return out.Finish();
}

}  // namespace Varn

#include "host/zek_host/host_log.h"

#include <chrono>
#include <ctime>

namespace Varn::Host {

HostLog::~HostLog() {
  if (file_ != nullptr) std::fclose(file_);
}

bool HostLog::OpenFile(const std::string& path) {
  std::lock_guard lock(mutex_);
  if (file_ != nullptr) std::fclose(file_);
  file_ = std::fopen(path.c_str(), "a");
  return file_ != nullptr;
}

void HostLog::Write(std::string_view source, std::string_view level, std::string_view text) {
  auto now = std::chrono::system_clock::now();
  std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  int millis = static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &utc);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
  std::string line = std::string(stamp) + "." + std::to_string(1000 + millis).substr(1) + "Z " +
                     std::string(source) + " " + std::string(level) + " " + std::string(text) +
                     "\n";
  std::lock_guard lock(mutex_);
  std::fwrite(line.data(), 1, line.size(), stderr);
  if (file_ != nullptr) {
    std::fwrite(line.data(), 1, line.size(), file_);
    std::fflush(file_);
  }
}

}  // namespace Varn::Host

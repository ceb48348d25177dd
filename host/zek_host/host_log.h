// HostLog: zek-host's log, every line to standard error and appended to a file, each with its UTC
// time. Safe from any thread.
#ifndef ZEK_HOST_ZEK_HOST_HOST_LOG_H_
#define ZEK_HOST_ZEK_HOST_HOST_LOG_H_

#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

namespace Varn::Host {

class HostLog {
 public:
  // Without a file until OpenFile succeeds.
  HostLog() = default;
  ~HostLog();
  HostLog(const HostLog&) = delete;
  HostLog& operator=(const HostLog&) = delete;

  bool OpenFile(const std::string& path);
  // `source` is "zek-host" or a plugin's short name.
  void Write(std::string_view source, std::string_view level, std::string_view text);
  void Info(std::string_view text) { Write("zek-host", "INFO", text); }
  void Error(std::string_view text) { Write("zek-host", "ERROR", text); }

 private:
  std::mutex mutex_;
  FILE* file_ = nullptr;
};

}  // namespace Varn::Host

#endif  // ZEK_HOST_ZEK_HOST_HOST_LOG_H_

// InstanceLock: the lockfile that tells clients where a running zek-host listens and how to log
// in, and keeps a second zek-host off the same installation. The file holds one line,
// "zek-host:<pid>:<port>:<token>:http", mode 0600, and appears whole: it is written under a
// temporary name and linked into place, so a reader never sees half of it and two starting hosts
// cannot both win. A lockfile whose process is gone is stale and replaced. The one platform file
// for processes and links of zek-host.
#ifndef ZEK_HOST_ZEK_HOST_INSTANCE_LOCK_H_
#define ZEK_HOST_ZEK_HOST_INSTANCE_LOCK_H_

#include <cstdint>
#include <memory>
#include <string>

namespace Varn::Host {

class InstanceLock {
 public:
  // Creates `path` for this process. Null with `error` set when another live zek-host holds it
  // or the file cannot be written.
  static std::unique_ptr<InstanceLock> Acquire(const std::string& path, uint16_t port,
                                               const std::string& token, std::string& error);
  // The pid of the live zek-host that holds `path`, or 0: checked before listening, so that a
  // second host on a busy --port still says why it cannot run.
  static int64_t LiveHolder(const std::string& path);
  // The refusal for a live holder `pid` of `path`.
  static std::string RunningMessage(int64_t pid, const std::string& path);
  // Removes the file, if it is still this process's.
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

 private:
  InstanceLock(std::string path, std::string line) : path_(std::move(path)), line_(line) {}
  std::string path_;
  std::string line_;
};

}  // namespace Varn::Host

#endif  // ZEK_HOST_ZEK_HOST_INSTANCE_LOCK_H_

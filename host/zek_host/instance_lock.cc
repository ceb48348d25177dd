#include "host/zek_host/instance_lock.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace Varn::Host {
namespace {

constexpr std::string_view kPrefix = "zek-host:";

std::string ReadLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

// The pid of a lockfile line, 0 when it names none.
pid_t LinePid(const std::string& line) {
  if (!std::string_view(line).starts_with(kPrefix)) return 0;
  long pid = std::strtol(line.c_str() + kPrefix.size(), nullptr, 10);
  return pid > 0 ? static_cast<pid_t>(pid) : 0;
}

bool IsAlive(pid_t pid) { return pid > 0 && (kill(pid, 0) == 0 || errno == EPERM); }

bool WriteWhole(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return fsync(fd) == 0;
}

}  // namespace

std::string InstanceLock::RunningMessage(int64_t pid, const std::string& path) {
  return "another zek-host (pid " + std::to_string(pid) +
         ") is running on this installation; its lockfile is " + path;
}

std::unique_ptr<InstanceLock> InstanceLock::Acquire(const std::string& path, uint16_t port,
                                                    const std::string& token, std::string& error) {
  std::string line = std::string(kPrefix) + std::to_string(getpid()) + ":" + std::to_string(port) +
                     ":" + token + ":http";
  std::string temp = path + ".tmp." + std::to_string(getpid());
  int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) {
    error = "cannot write " + temp + ": " + std::strerror(errno);
    return nullptr;
  }
  bool written = fchmod(fd, 0600) == 0 && WriteWhole(fd, line + "\n");
  written = close(fd) == 0 && written;
  if (!written) {
    error = "cannot write " + temp + ": " + std::strerror(errno);
    unlink(temp.c_str());
    return nullptr;
  }
  // Two tries: the second after a stale lockfile was removed.
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (link(temp.c_str(), path.c_str()) == 0) {
      unlink(temp.c_str());
      return std::unique_ptr<InstanceLock>(new InstanceLock(path, line));
    }
    if (errno != EEXIST) {
      error = "cannot create " + path + ": " + std::strerror(errno);
      break;
    }
    std::string held = ReadLine(path);
    pid_t pid = LinePid(held);
    if (IsAlive(pid) && pid != getpid()) {
      error = RunningMessage(pid, path);
      break;
    }
    // The holder is gone: the lockfile is stale.
    unlink(path.c_str());
  }
  if (error.empty()) error = "cannot create " + path;
  unlink(temp.c_str());
  return nullptr;
}

int64_t InstanceLock::LiveHolder(const std::string& path) {
  pid_t pid = LinePid(ReadLine(path));
  return IsAlive(pid) && pid != getpid() ? pid : 0;
}

InstanceLock::~InstanceLock() {
  if (ReadLine(path_) == line_) unlink(path_.c_str());
}

}  // namespace Varn::Host

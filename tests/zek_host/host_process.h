// The real zek-host as a child process on a temporary install directory, and a real HTTP
// client logged in to it: what the end-to-end tests drive.
#ifndef ZEK_TESTS_ZEK_HOST_HOST_PROCESS_H_
#define ZEK_TESTS_ZEK_HOST_HOST_PROCESS_H_

#include <httplib.h>
#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace Varn::Host::test {

// A fresh folder, removed afterwards.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

struct Lockfile {
  pid_t pid = 0;
  int port = 0;
  std::string token;
  std::string line;
};

// Reads and splits "zek-host:<pid>:<port>:<token>:http"; false when absent or malformed.
bool ReadLockfile(const std::filesystem::path& path, Lockfile& lock);

class HostProcess {
 public:
  // Starts zek-host with `args` (the install directory is added) and waits until it serves.
  // Failed() tells whether it did.
  HostProcess(const std::filesystem::path& install_dir, std::vector<std::string> args = {});
  // Kills the process if it still runs.
  ~HostProcess();

  bool Failed() const { return failed_; }
  int Port() const { return lock_.port; }
  const std::string& Token() const { return lock_.token; }
  pid_t Pid() const { return pid_; }
  std::string Output() const;  // what it printed on stdout and stderr so far

  // A client logged in with the token.
  std::unique_ptr<httplib::Client> Client() const;
  // Sends `signal`, waits for the exit and returns the exit status (-1 when it did not exit).
  int Stop(int signal = 15);

 private:
  std::filesystem::path installDir_;
  std::filesystem::path outputPath_;
  pid_t pid_ = -1;
  bool failed_ = true;
  Lockfile lock_;
};

// Runs zek-host with `args` to its end; its exit status and what it printed.
int RunHostToEnd(const std::vector<std::string>& args, std::string& output);

// A reader of GET /events in a thread of its own, keeping the "data:" lines it has seen.
class EventReader {
 public:
  EventReader(const HostProcess& host, const std::string& query = "");
  ~EventReader();
  // Waits until a data line holding every one of `needles` has arrived; false on time-out.
  bool WaitFor(const std::vector<std::string>& needles,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));
  std::vector<std::string> Lines();
  bool Connected() const { return connected_; }

 private:
  std::unique_ptr<httplib::Client> client_;
  std::mutex mutex_;
  std::string pending_;
  std::vector<std::string> lines_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> connected_{false};
  std::thread thread_;
};

}  // namespace Varn::Host::test

#endif  // ZEK_TESTS_ZEK_HOST_HOST_PROCESS_H_

#include "host_process.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <sstream>

namespace Varn::Host::test {
namespace {

constexpr auto kStartTimeout = std::chrono::seconds(20);
constexpr auto kStopTimeout = std::chrono::seconds(30);

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

pid_t Spawn(const std::vector<std::string>& args, const std::filesystem::path& output) {
  pid_t pid = fork();
  if (pid != 0) return pid;
  int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  if (fd >= 0) {
    dup2(fd, 1);
    dup2(fd, 2);
    close(fd);
  }
  std::vector<char*> argv;
  std::string binary = ZEK_HOST_BINARY;
  argv.push_back(binary.data());
  std::vector<std::string> copies = args;
  for (std::string& arg : copies) argv.push_back(arg.data());
  argv.push_back(nullptr);
  execv(binary.c_str(), argv.data());
  _exit(127);
}

// Waits up to `timeout` for `pid` to end; its exit status, or -1.
int WaitExit(pid_t pid, std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    int status = 0;
    pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (std::chrono::steady_clock::now() > deadline) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

}  // namespace

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "zek_host_XXXXXX").string();
  path_ = mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

bool ReadLockfile(const std::filesystem::path& path, Lockfile& lock) {
  std::string text = ReadAll(path);
  if (text.empty() || text.back() != '\n') return false;
  lock.line = text.substr(0, text.size() - 1);
  std::vector<std::string> parts;
  std::stringstream in(lock.line);
  for (std::string part; std::getline(in, part, ':');) parts.push_back(part);
  if (parts.size() != 5 || parts[0] != "zek-host" || parts[4] != "http") return false;
  lock.pid = static_cast<pid_t>(std::stol(parts[1]));
  lock.port = std::stoi(parts[2]);
  lock.token = parts[3];
  return true;
}

HostProcess::HostProcess(const std::filesystem::path& install_dir, std::vector<std::string> args)
    : installDir_(install_dir),
      outputPath_(install_dir.parent_path() / (install_dir.filename().string() + ".out")) {
  args.insert(args.begin(), {"--install-dir", install_dir.string()});
  pid_ = Spawn(args, outputPath_);
  auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return;
    }
    Lockfile lock;
    if (ReadLockfile(install_dir / "lockfile", lock) && lock.pid == pid_ &&
        Output().find("token:") != std::string::npos) {
      lock_ = lock;
      failed_ = false;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

HostProcess::~HostProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    WaitExit(pid_, kStopTimeout);
  }
}

std::string HostProcess::Output() const { return ReadAll(outputPath_); }

std::unique_ptr<httplib::Client> HostProcess::Client() const {
  auto client = std::make_unique<httplib::Client>("127.0.0.1", lock_.port);
  client->set_basic_auth("zek", lock_.token);
  client->set_read_timeout(30, 0);
  return client;
}

int HostProcess::Stop(int signal) {
  if (pid_ <= 0) return -1;
  kill(pid_, signal);
  int status = WaitExit(pid_, kStopTimeout);
  if (status >= 0) pid_ = -1;
  return status;
}

int RunHostToEnd(const std::vector<std::string>& args, std::string& output) {
  TempDir dir;
  std::filesystem::path out = dir.Path() / "out.txt";
  pid_t pid = Spawn(args, out);
  int status = WaitExit(pid, kStopTimeout);
  if (status < 0) {
    kill(pid, SIGKILL);
    WaitExit(pid, kStopTimeout);
  }
  output = ReadAll(out);
  return status;
}

EventReader::EventReader(const HostProcess& host, const std::string& query)
    : client_(host.Client()) {
  client_->set_read_timeout(60, 0);
  thread_ = std::thread([this, query] {
    while (!stop_) {
      client_->Get(("/events" + query).c_str(), [&](const char* data, size_t length) {
        std::lock_guard lock(mutex_);
        connected_ = true;
        pending_.append(data, length);
        for (size_t end; (end = pending_.find("\n\n")) != std::string::npos;) {
          std::string message = pending_.substr(0, end);
          pending_.erase(0, end + 2);
          if (message.rfind("data: ", 0) == 0) lines_.push_back(message.substr(6));
        }
        return !stop_.load();
      });
    }
  });
  auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
  while (!connected_ && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

EventReader::~EventReader() {
  stop_ = true;
  client_->stop();
  thread_.join();
}

std::vector<std::string> EventReader::Lines() {
  std::lock_guard lock(mutex_);
  return lines_;
}

bool EventReader::WaitFor(const std::vector<std::string>& needles,
                          std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    for (const std::string& line : Lines()) {
      bool all = true;
      for (const std::string& needle : needles) all = all && line.find(needle) != std::string::npos;
      if (all) return true;
    }
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

}  // namespace Varn::Host::test

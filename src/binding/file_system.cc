#include "binding/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace Varn {
namespace {

constexpr std::string_view kCouldNotOpen = "Couldn't open file: ";
constexpr std::string_view kCouldNotRead = "Couldn't read file: ";
// Symbolic links followed before giving up, as the kernel's own limit.
constexpr int kMaxLinkHops = 40;

std::atomic<FileWriteStep>& InjectedFault() {
  static std::atomic<FileWriteStep> step{FileWriteStep::kNone};
  return step;
}

// True when a test asked this step to fail; sets errno as the real failure would.
bool Injected(FileWriteStep step, int error) {
  if (InjectedFault().load(std::memory_order_relaxed) != step) return false;
  errno = error;
  return true;
}

std::string Describe(std::string_view what, const std::string& path, int error) {
  std::string message(what);
  message += path;
  message += " (";
  message += std::strerror(error);
  message += ')';
  return message;
}

// Follows symbolic links from `path` to the file they finally name, which may not exist yet.
bool ResolveLinks(std::string path, std::string& resolved) {
  for (int hop = 0; hop < kMaxLinkHops; ++hop) {
    struct stat info;
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
      resolved = std::move(path);
      return true;
    }
    std::string target(static_cast<size_t>(info.st_size) + 1, '\0');
    ssize_t length = readlink(path.c_str(), target.data(), target.size());
    if (length < 0) return false;
    target.resize(static_cast<size_t>(length));
    if (target.empty() || target[0] != '/') {
      std::filesystem::path parent = std::filesystem::path(path).parent_path();
      target = (parent / target).string();
    }
    path = std::move(target);
  }
  errno = ELOOP;
  return false;
}

bool WriteAll(int fd, std::string_view contents) {
  // A failing device is simulated after half of the bytes, so that the temporary file really
  // holds a partial text when the failure is seen.
  bool inject = InjectedFault().load(std::memory_order_relaxed) == FileWriteStep::kWrite;
  size_t limit = inject ? contents.size() / 2 : contents.size();
  size_t done = 0;
  while (done < limit) {
    ssize_t written = write(fd, contents.data() + done, limit - done);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(written);
  }
  if (inject) {
    errno = ENOSPC;
    return false;
  }
  return true;
}

std::string TemporaryPathFor(const std::string& target, unsigned attempt) {
  static std::atomic<unsigned> counter{0};
  std::filesystem::path path(target);
  std::string name = "." + path.filename().string() + "." + std::to_string(getpid()) + "." +
                     std::to_string(counter.fetch_add(1) + attempt) + ".tmp";
  return (path.parent_path() / name).string();
}

// Syncs the folder that holds `path`, so the rename itself survives a crash. File systems that
// cannot sync a folder say EINVAL; there is nothing more to do on them.
bool SyncFolderOf(const std::string& path) {
  std::filesystem::path parent = std::filesystem::path(path).parent_path();
  std::string folder = parent.empty() ? std::string(".") : parent.string();
  if (Injected(FileWriteStep::kFolderSync, EIO)) return false;
  int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = fsync(fd) == 0 || errno == EINVAL;
  int saved = errno;
  close(fd);
  errno = saved;
  return ok;
}

}  // namespace

bool IsExistingFile(std::string_view path) {
  struct stat info;
  return stat(std::string(path).c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

FileStatus ReadWholeFile(std::string_view path, std::string& contents) {
  std::string name(path);
  contents.clear();
  int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return FileStatus::Failure(std::string(kCouldNotOpen) + name);
  struct stat info;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    contents.reserve(static_cast<size_t>(info.st_size));
  }
  // Read to the end rather than trusting the size: the file may change while it is read.
  char buffer[65536];
  while (true) {
    ssize_t got = read(fd, buffer, sizeof buffer);
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      int error = errno;
      close(fd);
      contents.clear();
      return FileStatus::Failure(Describe(kCouldNotRead, name, error));
    }
    contents.append(buffer, static_cast<size_t>(got));
  }
  close(fd);
  return FileStatus::Ok();
}

FileStatus CreateParentFolders(std::string_view path) {
  std::filesystem::path parent = std::filesystem::path(path).parent_path();
  if (parent.empty()) return FileStatus::Ok();
  std::error_code error;
  std::filesystem::create_directories(parent, error);
  if (error) {
    return FileStatus::Failure("Couldn't create folder: " + parent.string() + " (" +
                               error.message() + ")");
  }
  return FileStatus::Ok();
}

FileStatus WriteFileAtomically(std::string_view path, std::string_view contents,
                               FileAccess access) {
  std::string name(path);
  std::string target;
  if (!ResolveLinks(name, target)) return FileStatus::Failure(std::string(kCouldNotOpen) + name);

  struct stat existing;
  bool has_existing = stat(target.c_str(), &existing) == 0;
  if (has_existing && !S_ISREG(existing.st_mode)) {
    return FileStatus::Failure(std::string(kCouldNotOpen) + name);
  }

  bool owner_only = access == FileAccess::kOwnerOnly;
  std::string temporary;
  int fd = -1;
  for (unsigned attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temporary = TemporaryPathFor(target, attempt);
    if (Injected(FileWriteStep::kOpen, EACCES)) break;
    fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, owner_only ? 0600 : 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) return FileStatus::Failure(std::string(kCouldNotOpen) + name);

  auto fail = [&](std::string_view what, int error, bool close_fd) {
    if (close_fd) close(fd);
    unlink(temporary.c_str());
    return FileStatus::Failure(Describe(what, name, error));
  };

  // The umask may take bits away from a new file but never adds any, so 0600 stays 0600.
  if (!owner_only && has_existing && fchmod(fd, existing.st_mode & 07777) != 0) {
    return fail("Couldn't set the permissions of file: ", errno, true);
  }
  if (!WriteAll(fd, contents)) return fail("Couldn't write file: ", errno, true);
  if (Injected(FileWriteStep::kSync, EIO) || fsync(fd) != 0) {
    return fail("Couldn't sync file: ", errno, true);
  }
  // close reports delayed write errors on some file systems, so its result counts.
  if (Injected(FileWriteStep::kClose, EIO)) {
    return fail("Couldn't close file: ", errno, true);
  }
  if (close(fd) != 0) return fail("Couldn't close file: ", errno, false);
  if (Injected(FileWriteStep::kRename, EXDEV) || rename(temporary.c_str(), target.c_str()) != 0) {
    return fail("Couldn't replace file: ", errno, false);
  }
  if (!SyncFolderOf(target)) {
    // The new file is in place; only its durability across a crash is in doubt.
    return FileStatus::Failure(Describe("Couldn't sync the folder of file: ", name, errno));
  }
  return FileStatus::Ok();
}

void InjectFileWriteFault(FileWriteStep step) {
  InjectedFault().store(step, std::memory_order_relaxed);
}

}  // namespace Varn

// The few file-system calls the codecs and the settings service need, kept in one place so that
// another platform only has to supply this file. Paths are UTF-8 texts; files are binary.
#ifndef ZEK_BINDING_FILE_SYSTEM_H_
#define ZEK_BINDING_FILE_SYSTEM_H_

#include <string>
#include <string_view>
#include <utility>

namespace Varn {

// Success, or a failure with a message that names the path.
class [[nodiscard]] FileStatus {
 public:
  static FileStatus Ok() { return FileStatus(); }
  static FileStatus Failure(std::string message) {
    FileStatus status;
    status.ok_ = false;
    status.message_ = std::move(message);
    return status;
  }

  bool IsOk() const { return ok_; }
  // Empty on success.
  const std::string& Message() const { return message_; }

 private:
  FileStatus() = default;
  bool ok_ = true;
  std::string message_;
};

// True when `path` names an existing regular file (directories and dangling links do not count).
bool IsExistingFile(std::string_view path);

// Reads the whole file into `contents`. Fails with "Couldn't open file: <path>" when it cannot be
// opened and "Couldn't read file: <path>" when reading fails (a directory, an I/O error).
FileStatus ReadWholeFile(std::string_view path, std::string& contents);

// Creates the folder that holds `path`, with every missing level.
FileStatus CreateParentFolders(std::string_view path);

// Replaces the file at `path` with exactly `contents` so that a reader or a crash sees either the
// old file or the new one, never a mix: a temporary file in the same folder is written, synced
// and renamed over the target, then the folder is synced. When `path` is a symbolic link the file
// it points to is replaced and the link stays. An existing file keeps its permission bits. On
// failure the temporary file is removed and the old file is left as it was; the message is
// "Couldn't open file: <path>" when the file cannot be created, else it names the failed step.
//
// With kOwnerOnly the new file is readable and writable by its owner alone (mode 0600) from the
// moment it is created, whatever the old file's bits were: for copies that hold another person's
// data.
enum class FileAccess { kKeepExisting, kOwnerOnly };
FileStatus WriteFileAtomically(std::string_view path, std::string_view contents,
                               FileAccess access = FileAccess::kKeepExisting);

// The steps of WriteFileAtomically at which a test can make the next writes fail, as a full
// disk or a failing device would.
enum class FileWriteStep { kNone, kOpen, kWrite, kSync, kClose, kRename, kFolderSync };

// Makes every later WriteFileAtomically fail at `step` (kNone restores normal operation).
// Process-wide; meant for tests only.
void InjectFileWriteFault(FileWriteStep step);

}  // namespace Varn

#endif  // ZEK_BINDING_FILE_SYSTEM_H_

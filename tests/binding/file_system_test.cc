#include "binding/file_system.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "tests/binding/temp_folder.h"

namespace Varn {
namespace {

using ::testing::StartsWith;
using yaml_test::TempFolder;

TEST(FileSystemTest, TellsFilesFromFoldersAndLinks) {
  TempFolder folder;
  std::string file = folder.File("file");
  TempFolder::Write(file, "x");
  std::string dangling = folder.File("dangling");
  ASSERT_EQ(symlink("nowhere", dangling.c_str()), 0);
  std::string link = folder.File("link");
  ASSERT_EQ(symlink("file", link.c_str()), 0);

  EXPECT_TRUE(IsExistingFile(file));
  EXPECT_TRUE(IsExistingFile(link));
  EXPECT_FALSE(IsExistingFile(folder.path()));
  EXPECT_FALSE(IsExistingFile(dangling));
  EXPECT_FALSE(IsExistingFile(folder.File("missing")));
}

TEST(FileSystemTest, ReadsWholeFiles) {
  TempFolder folder;
  std::string file = folder.File("bytes");
  std::string bytes(200000, 'a');
  bytes[5] = '\0';
  bytes.back() = '\r';
  TempFolder::Write(file, bytes);
  std::string contents = "stale";
  ASSERT_TRUE(ReadWholeFile(file, contents).IsOk());
  EXPECT_EQ(contents, bytes);

  std::string missing = folder.File("missing");
  FileStatus status = ReadWholeFile(missing, contents);
  EXPECT_EQ(status.Message(), "Couldn't open file: " + missing);
  EXPECT_EQ(contents, "");
  EXPECT_THAT(ReadWholeFile(folder.path(), contents).Message(),
              StartsWith("Couldn't read file: " + folder.path()));
}

TEST(FileSystemTest, CreatesMissingFolders) {
  TempFolder folder;
  std::string path = folder.File("a/b/c/file.yaml");
  ASSERT_TRUE(CreateParentFolders(path).IsOk());
  EXPECT_TRUE(std::filesystem::is_directory(folder.File("a/b/c")));
  EXPECT_TRUE(CreateParentFolders(path).IsOk());
  EXPECT_TRUE(CreateParentFolders("file-in-working-folder").IsOk());

  TempFolder::Write(folder.File("plain"), "x");
  EXPECT_THAT(CreateParentFolders(folder.File("plain/sub/file")).Message(),
              StartsWith("Couldn't create folder: " + folder.File("plain/sub")));
}

TEST(FileSystemTest, WritesNewAndExistingFiles) {
  TempFolder folder;
  std::string path = folder.File("out");
  ASSERT_TRUE(WriteFileAtomically(path, "first").IsOk());
  EXPECT_EQ(TempFolder::Read(path), "first");
  ASSERT_TRUE(WriteFileAtomically(path, "").IsOk());
  EXPECT_EQ(TempFolder::Read(path), "");
  ASSERT_TRUE(WriteFileAtomically(path, "third").IsOk());
  EXPECT_EQ(TempFolder::Read(path), "third");
  EXPECT_EQ(folder.EntryCount(), 1u);

  EXPECT_EQ(WriteFileAtomically(folder.path(), "x").Message(),
            "Couldn't open file: " + folder.path());
}

// Saving through a link replaces the file it names; the link itself stays a link.
TEST(FileSystemTest, ReplacesTheTargetOfLinks) {
  TempFolder folder;
  std::filesystem::create_directory(folder.File("real"));
  std::string target = folder.File("real/prefs.yaml");
  TempFolder::Write(target, "old");
  std::string link = folder.File("prefs.yaml");
  ASSERT_EQ(symlink("real/prefs.yaml", link.c_str()), 0);
  std::string chained = folder.File("chained.yaml");
  ASSERT_EQ(symlink(link.c_str(), chained.c_str()), 0);

  ASSERT_TRUE(WriteFileAtomically(link, "new").IsOk());
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(TempFolder::Read(target), "new");

  ASSERT_TRUE(WriteFileAtomically(chained, "newer").IsOk());
  EXPECT_TRUE(std::filesystem::is_symlink(chained));
  EXPECT_EQ(TempFolder::Read(target), "newer");

  std::string dangling = folder.File("dangling.yaml");
  ASSERT_EQ(symlink("real/created.yaml", dangling.c_str()), 0);
  ASSERT_TRUE(WriteFileAtomically(dangling, "made").IsOk());
  EXPECT_EQ(TempFolder::Read(folder.File("real/created.yaml")), "made");

  std::string loop = folder.File("loop");
  ASSERT_EQ(symlink("loop", loop.c_str()), 0);
  EXPECT_EQ(WriteFileAtomically(loop, "x").Message(), "Couldn't open file: " + loop);
}

TEST(FileSystemTest, KeepsPermissionBits) {
  TempFolder folder;
  std::string path = folder.File("private");
  TempFolder::Write(path, "old");
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  ASSERT_TRUE(WriteFileAtomically(path, "new").IsOk());
  struct stat info;
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
}

// An owner-only copy is 0600 whether it is new or replaces a file that others could read.
TEST(FileSystemTest, WritesOwnerOnlyFiles) {
  TempFolder folder;
  std::string fresh = folder.File("fresh");
  std::string shared = folder.File("shared");
  TempFolder::Write(shared, "old");
  ASSERT_EQ(chmod(shared.c_str(), 0666), 0);
  for (const std::string& path : {fresh, shared}) {
    SCOPED_TRACE(path);
    ASSERT_TRUE(WriteFileAtomically(path, "copy", FileAccess::kOwnerOnly).IsOk());
    EXPECT_EQ(TempFolder::Read(path), "copy");
    struct stat info;
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
  }
}

}  // namespace
}  // namespace Varn

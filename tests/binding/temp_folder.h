// A fresh folder per test under the test temp dir, removed with everything in it afterwards.
#ifndef ZEK_TESTS_BINDING_TEMP_FOLDER_H_
#define ZEK_TESTS_BINDING_TEMP_FOLDER_H_

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

namespace Varn::yaml_test {

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = ::testing::TempDir() + "zek_yaml_XXXXXX";
    path_ = mkdtemp(pattern.data()) ? pattern : std::string();
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }
  std::string File(std::string_view name) const { return path_ + "/" + std::string(name); }

  static void Write(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  // Names of the entries in the folder, to see that no temporary file is left behind.
  size_t EntryCount() const {
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(path_)) ++count;
    return count;
  }

 private:
  std::string path_;
};

}  // namespace Varn::yaml_test

#endif  // ZEK_TESTS_BINDING_TEMP_FOLDER_H_

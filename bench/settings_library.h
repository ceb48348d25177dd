// What the benchmarks that load the built settings library share: its entry, found with dlopen as
// a host finds it, the release of answers their stand-in hosts fill, and a scratch folder.
#ifndef ZEK_BENCH_SETTINGS_LIBRARY_H_
#define ZEK_BENCH_SETTINGS_LIBRARY_H_

#include <dlfcn.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "binding/binding_property.h"
#include "binding/heap.h"
#include "zek/plugin_abi.h"

namespace Varn::Bench {

// The library's entry; null when the library or the entry is missing.
inline PluginLoadFunction SettingsEntry() {
  static void* library = dlopen(ZEK_SETTINGS_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) return nullptr;
  return reinterpret_cast<PluginLoadFunction>(dlsym(library, "load_zek_settings"));
}

// The release function of answers whose value and error text a stand-in service allocated.
inline void ReleaseAnswer(PluginResponse* response) {
  BindingProperty::ReleaseBoundary(response->result.value);
  HeapFree(response->result.errorText);
}

// A fresh folder below `parent`, removed with everything in it.
class Scratch {
 public:
  explicit Scratch(const std::string& parent, std::string_view prefix) {
    std::string pattern = parent + "/" + std::string(prefix) + "_XXXXXX";
    path_ = mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
  }
  ~Scratch() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  const std::string& Path() const { return path_; }
  std::string File(std::string_view relative) const { return path_ + "/" + std::string(relative); }

 private:
  std::string path_;
};

}  // namespace Varn::Bench

#endif  // ZEK_BENCH_SETTINGS_LIBRARY_H_

#include "host/runtime/plugin_library.h"

#include <dlfcn.h>

namespace Varn::Host {

std::unique_ptr<PluginLibrary> PluginLibrary::Open(const std::string& path, std::string& error) {
  // RTLD_LOCAL: each plugin keeps its own copies of the libraries it was linked with.
  // RTLD_NODELETE: a plugin library's process-wide state (logger, page pool, type identities)
  // lives until the process ends by design, so the library must stay mapped as long.
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (handle == nullptr) {
    const char* message = dlerror();
    error = message != nullptr ? message : "cannot load " + path;
    return nullptr;
  }
  return std::unique_ptr<PluginLibrary>(new PluginLibrary(handle));
}

PluginLibrary::~PluginLibrary() { dlclose(handle_); }

void* PluginLibrary::Symbol(const std::string& name) const { return dlsym(handle_, name.c_str()); }

}  // namespace Varn::Host

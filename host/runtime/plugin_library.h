// PluginLibrary: a plugin shared library loaded into the host process. The one platform file of
// the host runtime: dlopen here, LoadLibrary on Windows.
#ifndef ZEK_HOST_RUNTIME_PLUGIN_LIBRARY_H_
#define ZEK_HOST_RUNTIME_PLUGIN_LIBRARY_H_

#include <memory>
#include <string>

namespace Varn::Host {

class PluginLibrary {
 public:
  // Null with `error` set when the library cannot be loaded.
  static std::unique_ptr<PluginLibrary> Open(const std::string& path, std::string& error);
  // Drops the handle; nothing the library handed out may be used afterwards. The library itself
  // stays mapped (see Open).
  ~PluginLibrary();
  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;

  // The exported symbol of that name, or null.
  void* Symbol(const std::string& name) const;

 private:
  explicit PluginLibrary(void* handle) : handle_(handle) {}
  void* handle_;
};

}  // namespace Varn::Host

#endif  // ZEK_HOST_RUNTIME_PLUGIN_LIBRARY_H_

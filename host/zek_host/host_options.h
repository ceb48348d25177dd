// HostOptions: zek-host's command line.
#ifndef ZEK_HOST_ZEK_HOST_HOST_OPTIONS_H_
#define ZEK_HOST_ZEK_HOST_HOST_OPTIONS_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Varn::Host {

inline constexpr size_t kDefaultMaxBody = 8u << 20;

struct HostOptions {
  std::string installDir = "zek-data";
  uint16_t port = 0;                 // 0: a free port
  std::vector<std::string> plugins;  // empty: the settings plugin beside the binary
  size_t maxBody = kDefaultMaxBody;
  // Every other "--name=value", in order: the command-line arguments the host serves.
  std::vector<std::string> passThrough;
  bool help = false;
  bool version = false;
};

// Parses argv[1..]. On failure returns false with a one-line `error`.
bool ParseHostOptions(int argc, const char* const* argv, HostOptions& options, std::string& error);

// The text of --help.
std::string HostUsage();

}  // namespace Varn::Host

#endif  // ZEK_HOST_ZEK_HOST_HOST_OPTIONS_H_

#include "host/zek_host/host_options.h"

#include <charconv>
#include <string_view>

namespace Varn::Host {
namespace {

// "--name VALUE" or "--name=VALUE" for the host's own options.
bool TakeValue(std::string_view arg, std::string_view name, int& i, int argc,
               const char* const* argv, std::string& value, bool& matched, std::string& error) {
  matched = false;
  if (arg == name) {
    matched = true;
    if (i + 1 >= argc) {
      error = std::string(name) + " needs a value";
      return false;
    }
    value = argv[++i];
    return true;
  }
  if (arg.size() > name.size() && arg.starts_with(name) && arg[name.size()] == '=') {
    matched = true;
    value = std::string(arg.substr(name.size() + 1));
    return true;
  }
  return true;
}

template <class T>
bool ParseNumber(std::string_view text, T& out) {
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out);
  return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

}  // namespace

std::string HostUsage() {
  return "usage: zek-host [options] [--name=value ...]\n"
         "Runs zek plugins over HTTP on 127.0.0.1 and stands in for the client's other services.\n"
         "\n"
         "  --install-dir DIR   installation directory (created; default ./zek-data)\n"
         "  --port N            port on 127.0.0.1 (default: a free one)\n"
         "  --plugin PATH       plugin library to load; repeatable (default: libzek_settings.so\n"
         "                      beside the binary)\n"
         "  --max-body BYTES    largest request body accepted (default 8388608)\n"
         "  --help, --version\n"
         "Every other --name=value is served as the host's command-line arguments, e.g.\n"
         "--account-preferences-file-path=/x.yaml.\n";
}

bool ParseHostOptions(int argc, const char* const* argv, HostOptions& options, std::string& error) {
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      options.help = true;
      continue;
    }
    if (arg == "--version") {
      options.version = true;
      continue;
    }
    std::string value;
    bool matched = false;
    if (!TakeValue(arg, "--install-dir", i, argc, argv, value, matched, error)) return false;
    if (matched) {
      if (value.empty()) {
        error = "--install-dir needs a folder";
        return false;
      }
      options.installDir = value;
      continue;
    }
    if (!TakeValue(arg, "--port", i, argc, argv, value, matched, error)) return false;
    if (matched) {
      unsigned port = 0;
      if (!ParseNumber(value, port) || port > 65535) {
        error = "--port takes a number from 0 to 65535, not \"" + value + "\"";
        return false;
      }
      options.port = static_cast<uint16_t>(port);
      continue;
    }
    if (!TakeValue(arg, "--plugin", i, argc, argv, value, matched, error)) return false;
    if (matched) {
      if (value.empty()) {
        error = "--plugin needs a library path";
        return false;
      }
      options.plugins.push_back(value);
      continue;
    }
    if (!TakeValue(arg, "--max-body", i, argc, argv, value, matched, error)) return false;
    if (matched) {
      size_t bytes = 0;
      if (!ParseNumber(value, bytes) || bytes == 0) {
        error = "--max-body takes a positive number of bytes, not \"" + value + "\"";
        return false;
      }
      options.maxBody = bytes;
      continue;
    }
    if (arg.starts_with("--") && arg.size() > 2 && arg.find('=') != std::string_view::npos &&
        arg[2] != '=') {
      options.passThrough.emplace_back(arg);
      continue;
    }
    error = "unknown option \"" + std::string(arg) + "\" (see --help)";
    return false;
  }
  return true;
}

}  // namespace Varn::Host

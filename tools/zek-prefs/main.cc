// zek-prefs: a command-line companion of the settings plugin for the people who support players
// and write client code. Every decoder and writer it uses is the plugin's own.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "zek-prefs/prefs_check.h"
#include "zek-prefs/prefs_convert.h"

namespace {

constexpr char kUsage[] =
    "Usage: zek-prefs COMMAND [ARGS]\n"
    "\n"
    "Commands:\n"
    "  check FILE...   load preference files as the settings plugin does and report them\n"
    "  convert [FILE]  convert between JSON, YAML and MessagePack with the plugin's codecs\n"
    "\n"
    "Run \"zek-prefs COMMAND --help\" for the options of a command.\n";

bool WantsHelp(const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    if (arg == "--help" || arg == "-h") return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const std::string_view command = argv[1];
  const std::vector<std::string> args(argv + 2, argv + argc);
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (command == "check") {
    if (WantsHelp(args)) {
      std::fputs(Varn::Tools::kCheckUsage, stdout);
      return 0;
    }
    if (args.empty()) {
      std::fputs("zek-prefs check: no file given\n\n", stderr);
      std::fputs(Varn::Tools::kCheckUsage, stderr);
      return 2;
    }
    return Varn::Tools::RunCheck(args, stdout);
  }
  if (command == "convert") {
    if (WantsHelp(args)) {
      std::fputs(Varn::Tools::kConvertUsage, stdout);
      return 0;
    }
    return Varn::Tools::RunConvert(args, stdin, stdout, stderr);
  }
  std::fprintf(stderr, "zek-prefs: unknown command \"%s\"\n\n", argv[1]);
  std::fputs(kUsage, stderr);
  return 2;
}

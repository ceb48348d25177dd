// `zek-prefs convert`: decodes JSON, YAML or MessagePack with the plugin's own readers and writes
// YAML exactly as the plugin saves a preference file, or JSON as the host renders an answer.
#ifndef ZEK_TOOLS_ZEK_PREFS_PREFS_CONVERT_H_
#define ZEK_TOOLS_ZEK_PREFS_PREFS_CONVERT_H_

#include <cstdio>
#include <string>
#include <vector>

namespace Varn::Tools {

inline constexpr char kConvertUsage[] =
    "Usage: zek-prefs convert [--from json|yaml|msgpack] [--to yaml|json] [--crlf] [FILE|-]\n"
    "\n"
    "Decodes FILE (standard input when it is \"-\" or missing) and writes it to standard output.\n"
    "  --from   input format; else taken from the file name's extension (.json, .yaml, .yml,\n"
    "           .msgpack, .mpk), else JSON\n"
    "  --to     yaml (default): exactly as the settings plugin saves a preference file;\n"
    "           json: as the host renders an answer (blobs as base64, enums as numbers)\n"
    "  --crlf   end lines with CR LF, as the plugin does on disk\n"
    "\n"
    "A decode error is printed to standard error. Exit status: 0 on success, 1 when the input\n"
    "cannot be read or decoded, 2 on a usage error.\n";

// Returns the exit status. `args` are the arguments after "convert".
int RunConvert(const std::vector<std::string>& args, std::FILE* in, std::FILE* out, std::FILE* err);

}  // namespace Varn::Tools

#endif  // ZEK_TOOLS_ZEK_PREFS_PREFS_CONVERT_H_

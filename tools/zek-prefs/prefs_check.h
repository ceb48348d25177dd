// `zek-prefs check`: loads preference files the way the settings plugin loads them and reports,
// per file, the category count and what the plugin would ignore, or the loader's error.
#ifndef ZEK_TOOLS_ZEK_PREFS_PREFS_CHECK_H_
#define ZEK_TOOLS_ZEK_PREFS_PREFS_CHECK_H_

#include <cstdio>
#include <string>
#include <vector>

namespace Varn::Tools {

inline constexpr char kCheckUsage[] =
    "Usage: zek-prefs check FILE...\n"
    "\n"
    "Loads each preference file exactly as the settings plugin loads it and prints\n"
    "  FILE: ok, N categories\n"
    "followed by a warning line for each category that has no \"data\" member (the plugin keeps\n"
    "it but never announces it) or whose \"schemaVersion\" is not an integer, or\n"
    "  FILE: <the error the plugin would get>\n"
    "or, when there is no file at FILE (the plugin then starts from defaults),\n"
    "  FILE: no such file; the plugin reads every category of it as empty\n"
    "\n"
    "Exit status: 0 when every file loads, 1 when any fails, 2 on a usage error.\n";

// Returns the exit status. Reports go to `out`.
int RunCheck(const std::vector<std::string>& files, std::FILE* out);

}  // namespace Varn::Tools

#endif  // ZEK_TOOLS_ZEK_PREFS_PREFS_CHECK_H_

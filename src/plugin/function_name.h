// Names derived from methods and paths: the method names of the boundary's method codes, and the
// function-name rule that turns "GET" + "/zek-settings/v2/local/{category}" into
// "GetZekSettingsV2LocalByCategory" (also used for a plugin's namespace identifier).
#ifndef ZEK_PLUGIN_FUNCTION_NAME_H_
#define ZEK_PLUGIN_FUNCTION_NAME_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace Varn {

// "DELETE", "GET", ... "PUT" for codes 1 to 7, "CALL" for 8, "" for anything else.
std::string_view MethodName(uint32_t method);
// The method code of a name as MethodName spells it; 0 when unknown.
uint32_t MethodCode(std::string_view name);

// Drops "!+-./_" and "}" and capitalises the character after them, turns "{" into "By" and
// capitalises what follows, and capitalises the first character.
std::string CapitalizedIdentifier(std::string_view text);

// The method name with only its first letter upper case, "/", the path, through
// CapitalizedIdentifier.
std::string FunctionName(uint32_t method, std::string_view path_template);

}  // namespace Varn

#endif  // ZEK_PLUGIN_FUNCTION_NAME_H_

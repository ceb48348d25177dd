#include "plugin/function_name.h"

#include <array>

namespace Varn {
namespace {

constexpr std::array<std::string_view, 9> kMethodNames = {
    "", "DELETE", "GET", "HEAD", "OPTIONS", "PATCH", "POST", "PUT", "CALL"};

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::string_view MethodName(uint32_t method) {
  return method < kMethodNames.size() ? kMethodNames[method] : std::string_view();
}

uint32_t MethodCode(std::string_view name) {
  for (uint32_t code = 1; code < kMethodNames.size(); ++code) {
    if (kMethodNames[code] == name) return code;
  }
  return 0;
}

std::string CapitalizedIdentifier(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 8);
  bool upper_next = true;
  for (char c : text) {
    switch (c) {
      case '!':
      case '+':
      case '-':
      case '.':
      case '/':
      case '_':
        upper_next = true;
        break;
      case '{':
        out += "By";
        upper_next = true;
        break;
      case '}':
        break;
      default:
        out += upper_next ? Upper(c) : c;
        upper_next = false;
        break;
    }
  }
  return out;
}

std::string FunctionName(uint32_t method, std::string_view path_template) {
  std::string text;
  std::string_view name = MethodName(method);
  if (!name.empty()) {
    text += name[0];
    for (char c : name.substr(1)) text += Lower(c);
  }
  text += '/';
  text += path_template;
  return CapitalizedIdentifier(text);
}

}  // namespace Varn

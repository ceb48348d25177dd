#include "host/zek_host/access_token.h"

#include <sys/random.h>

#include <cerrno>
#include <cstdint>

#include "binding/base64.h"

namespace Varn::Host {
namespace {

constexpr size_t kTokenBytes = 16;
constexpr std::string_view kScheme = "basic ";

bool IEquals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char c = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
    if (c != b[i]) return false;
  }
  return true;
}

}  // namespace

std::string NewAccessToken() {
  uint8_t bytes[kTokenBytes];
  size_t filled = 0;
  while (filled < kTokenBytes) {
    ssize_t n = getrandom(bytes + filled, kTokenBytes - filled, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return {};
    filled += static_cast<size_t>(n);
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string token;
  for (uint8_t byte : bytes) {
    token += kHex[byte >> 4];
    token += kHex[byte & 15];
  }
  return token;
}

BasicAuthCheck::BasicAuthCheck(std::string_view token)
    : expected_(Base64Encode(std::string(kUser) + ":" + std::string(token))) {}

bool BasicAuthCheck::Accepts(std::string_view header) const {
  if (header.size() < kScheme.size() || !IEquals(header.substr(0, kScheme.size()), kScheme)) {
    return false;
  }
  std::string_view given = header.substr(kScheme.size());
  while (!given.empty() && given.front() == ' ') given.remove_prefix(1);
  while (!given.empty() && given.back() == ' ') given.remove_suffix(1);
  // Every byte of the expected text is compared, whatever the given text holds.
  uint8_t difference = given.size() == expected_.size() ? 0 : 1;
  for (size_t i = 0; i < expected_.size(); ++i) {
    uint8_t g = i < given.size() ? static_cast<uint8_t>(given[i]) : 0;
    difference |= static_cast<uint8_t>(g ^ static_cast<uint8_t>(expected_[i]));
  }
  return difference == 0;
}

}  // namespace Varn::Host

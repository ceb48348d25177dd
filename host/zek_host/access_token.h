// The secret that guards zek-host: a random 128-bit token, and the check of a request's
// Authorization header against the user "zek" with that token as password.
#ifndef ZEK_HOST_ZEK_HOST_ACCESS_TOKEN_H_
#define ZEK_HOST_ZEK_HOST_ACCESS_TOKEN_H_

#include <string>
#include <string_view>

namespace Varn::Host {

inline constexpr std::string_view kUser = "zek";

// 32 lower-case hex digits from the system's random source. Empty when it cannot be read.
std::string NewAccessToken();

class BasicAuthCheck {
 public:
  explicit BasicAuthCheck(std::string_view token);
  // True when `header` is "Basic " and the base64 of "zek:<token>". The comparison takes the
  // same time wherever the first differing byte is.
  bool Accepts(std::string_view header) const;

 private:
  std::string expected_;  // the base64 text
};

}  // namespace Varn::Host

#endif  // ZEK_HOST_ZEK_HOST_ACCESS_TOKEN_H_

// Type-safe message formatting with numbered placeholders ("%1", "%2$5d") and printf-style parts.
#ifndef ZEK_BINDING_MESSAGE_FORMAT_H_
#define ZEK_BINDING_MESSAGE_FORMAT_H_

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>

namespace Varn {

// Results of FormatMessage never exceed this many characters: callers format into a 4096-byte
// buffer that keeps one byte for the terminating NUL.
inline constexpr size_t kMaxFormattedLength = 4095;

// One argument of FormatMessage. Its kind decides the default conversion and which explicit
// conversions it accepts:
//   kSigned32   "dciouxX"     kSigned64   "dciouxX" (printed with "ll")
//   kUnsigned32 "ucdioxX"     kUnsigned64 "ucdioxX" (printed with "ll")
//   kDouble     "gaefGAEF"    kText       "s"
// A conversion the kind does not accept is replaced by the default one. Beyond the kinds above,
// bool is text ("true" / "false", as a reader of a message expects) and a non-text pointer is its
// address as an unsigned 64-bit number (use "%1$x" for hex). A null const char* prints "(null)".
// char, short and float promote as in C: a char prints its code unless formatted with "%1$c".
//
// A FormatArg refers to the text it was made from without copying; it is meant to live only for
// the FormatMessage call it is an argument of.
class FormatArg {
 public:
  enum class Kind : uint8_t { kSigned32, kUnsigned32, kSigned64, kUnsigned64, kDouble, kText };

  FormatArg(int v) : kind_(Kind::kSigned32), signed_(v) {}
  FormatArg(unsigned v) : kind_(Kind::kUnsigned32), unsigned_(v) {}
  // long is 32 bits on some platforms and 64 on others; its kind follows its width.
  FormatArg(long v) : kind_(sizeof(long) == 8 ? Kind::kSigned64 : Kind::kSigned32), signed_(v) {}
  FormatArg(unsigned long v)
      : kind_(sizeof(long) == 8 ? Kind::kUnsigned64 : Kind::kUnsigned32), unsigned_(v) {}
  FormatArg(long long v) : kind_(Kind::kSigned64), signed_(v) {}
  FormatArg(unsigned long long v) : kind_(Kind::kUnsigned64), unsigned_(v) {}
  FormatArg(double v) : kind_(Kind::kDouble), double_(v) {}
  FormatArg(bool v) : kind_(Kind::kText), text_(v ? "true" : "false") {}
  FormatArg(const char* v) : kind_(Kind::kText), text_(v ? std::string_view(v) : "(null)") {}
  FormatArg(std::string_view v) : kind_(Kind::kText), text_(v) {}
  FormatArg(const std::string& v) : kind_(Kind::kText), text_(v) {}
  template <class T, class = std::enable_if_t<!std::is_same_v<std::remove_cv_t<T>, char>>>
  FormatArg(T* v) : kind_(Kind::kUnsigned64), unsigned_(reinterpret_cast<uintptr_t>(v)) {}

  Kind kind() const { return kind_; }
  int64_t signed_value() const { return signed_; }
  uint64_t unsigned_value() const { return unsigned_; }
  double double_value() const { return double_; }
  std::string_view text() const { return text_; }

 private:
  Kind kind_;
  union {
    int64_t signed_;
    uint64_t unsigned_;
    double double_;
  };
  std::string_view text_;
};

// Fills the placeholders of `format` from `args` (argument numbers count from 1). A placeholder
// is "%" then an optional argument number; a number followed by "$" goes on with printf-style
// flags, width, precision, length and conversion, a bare number is the whole placeholder, and a
// placeholder without a number takes the argument after the last one used. "%%" writes "%".
// Formatting stops, keeping what it produced, at an argument number beyond the arguments, a
// malformed placeholder or one of 60 characters or more. The result is cut to
// kMaxFormattedLength characters.
std::string FormatMessage(std::string_view format, std::initializer_list<FormatArg> args);

template <class... Args>
std::string FormatMessage(std::string_view format, const Args&... args) {
  return FormatMessage(format, std::initializer_list<FormatArg>{FormatArg(args)...});
}

// The text of a status: "Success" when it succeeded, otherwise "<message> (<code>)".
std::string FormatStatus(bool success, int64_t code, std::string_view message);

}  // namespace Varn

#endif  // ZEK_BINDING_MESSAGE_FORMAT_H_

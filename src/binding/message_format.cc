#include "binding/message_format.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace Varn {
namespace {

// Placeholder grammar, after the "%":
//   [number] [ "$" [flags] [width] ["." precision] [length] [conversion] ]
//   number only when no "$" follows; without a number, the printf-style parts follow directly.
//   width, precision: digits | "*" [number "$"]
constexpr size_t kMaxPlaceholderLength = 60;
// Widths and precisions beyond the buffer cannot change what fits in it; capping them keeps
// snprintf from producing (and us from asking for) megabytes that are thrown away.
constexpr int kMaxFieldWidth = static_cast<int>(kMaxFormattedLength);
constexpr std::string_view kFlags = "-+ #0";
constexpr std::string_view kConversions = "diouxXcseEfFgGaApn";

std::string_view AcceptedConversions(FormatArg::Kind kind) {
  switch (kind) {
    case FormatArg::Kind::kSigned32:
    case FormatArg::Kind::kSigned64:
      return "dciouxX";
    case FormatArg::Kind::kUnsigned32:
    case FormatArg::Kind::kUnsigned64:
      return "ucdioxX";
    case FormatArg::Kind::kDouble:
      return "gaefGAEF";
    case FormatArg::Kind::kText:
      return "s";
  }
  return "s";
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Output buffer of the formatter: never holds more than kMaxFormattedLength characters.
class Output {
 public:
  size_t Room() const { return kMaxFormattedLength - length_; }
  bool Full() const { return length_ == kMaxFormattedLength; }
  void Append(char c) {
    if (!Full()) buffer_[length_++] = c;
  }
  void Append(std::string_view text) {
    size_t n = std::min(text.size(), Room());
    std::memcpy(buffer_ + length_, text.data(), n);
    length_ += n;
  }
  void AppendPadding(size_t count) {
    size_t n = std::min(count, Room());
    std::memset(buffer_ + length_, ' ', n);
    length_ += n;
  }
  // Appends one printf conversion of `value`; false when the C library refuses the conversion.
  template <class T>
  bool AppendPrintf(const char* printf_format, T value) {
    int written = std::snprintf(buffer_ + length_, Room() + 1, printf_format, value);
    if (written < 0) return false;
    length_ += std::min(static_cast<size_t>(written), Room());
    return true;
  }
  std::string Take() const { return std::string(buffer_, length_); }

 private:
  char buffer_[kMaxFormattedLength + 1];
  size_t length_ = 0;
};

class Formatter {
 public:
  Formatter(std::string_view format, std::initializer_list<FormatArg> args)
      : format_(format), args_(args.begin()), arg_count_(args.size()) {}

  std::string Run() {
    while (pos_ < format_.size() && !out_.Full()) {
      char c = format_[pos_];
      if (c != '%') {
        out_.Append(c);
        ++pos_;
      } else if (pos_ + 1 < format_.size() && format_[pos_ + 1] == '%') {
        out_.Append('%');
        pos_ += 2;
      } else if (!Placeholder()) {
        break;
      }
    }
    return out_.Take();
  }

 private:
  struct Conversion {
    std::string flags;
    bool has_width = false;
    int width = 0;
    bool has_precision = false;
    int precision = 0;
    char conversion = 0;
  };

  // Reads digits at p as a number, saturating so that no digit string can overflow.
  static int ReadNumber(std::string_view s, size_t& p) {
    int n = 0;
    while (p < s.size() && IsDigit(s[p])) {
      n = std::min(n * 10 + (s[p] - '0'), 1000000);
      ++p;
    }
    return n;
  }

  // Takes argument `number` (1-based), or the next one when number is 0; null when out of range.
  const FormatArg* TakeArgument(int number) {
    size_t index = number > 0 ? static_cast<size_t>(number - 1) : next_;
    if (index >= arg_count_) return nullptr;
    next_ = index + 1;
    return &args_[index];
  }

  // Reads a width or precision that is digits or "*" [number "$"]; false when malformed or the
  // argument it names is missing or not an integer.
  bool ReadField(size_t& p, bool& present, int& value) {
    if (p < format_.size() && IsDigit(format_[p])) {
      present = true;
      value = std::min(ReadNumber(format_, p), kMaxFieldWidth);
      return true;
    }
    if (p >= format_.size() || format_[p] != '*') return true;
    ++p;
    int number = 0;
    if (p < format_.size() && IsDigit(format_[p])) {
      if (format_[p] == '0') return false;
      number = ReadNumber(format_, p);
      if (p >= format_.size() || format_[p] != '$') return false;
      ++p;
    }
    const FormatArg* arg = TakeArgument(number);
    if (arg == nullptr) return false;
    int64_t v;
    switch (arg->kind()) {
      case FormatArg::Kind::kSigned32:
      case FormatArg::Kind::kSigned64:
        v = arg->signed_value();
        break;
      case FormatArg::Kind::kUnsigned32:
      case FormatArg::Kind::kUnsigned64:
        v = static_cast<int64_t>(std::min<uint64_t>(arg->unsigned_value(), kMaxFieldWidth));
        break;
      default:
        return false;
    }
    present = true;
    value = static_cast<int>(std::clamp<int64_t>(v, -kMaxFieldWidth, kMaxFieldWidth));
    return true;
  }

  // Formats the placeholder at pos_; false ends formatting.
  bool Placeholder() {
    size_t p = pos_ + 1;
    int number = 0;
    Conversion conv;
    bool printf_parts = true;
    if (p < format_.size() && format_[p] >= '1' && format_[p] <= '9') {
      number = ReadNumber(format_, p);
      if (p < format_.size() && format_[p] == '$') {
        ++p;
      } else {
        printf_parts = false;
      }
    }
    if (printf_parts) {
      while (p < format_.size() && kFlags.find(format_[p]) != std::string_view::npos) {
        if (conv.flags.find(format_[p]) == std::string::npos) conv.flags += format_[p];
        ++p;
      }
      if (!ReadField(p, conv.has_width, conv.width)) return false;
      if (p < format_.size() && format_[p] == '.') {
        ++p;
        bool present = false;
        if (!ReadField(p, present, conv.precision)) return false;
        conv.has_precision = true;  // "." alone is precision 0, as in printf
      }
      // The caller's length modifier is dropped: the argument's kind decides the width.
      if (p < format_.size() && (format_[p] == 'h' || format_[p] == 'l')) {
        char m = format_[p++];
        if (p < format_.size() && format_[p] == m) ++p;
      } else if (p < format_.size() &&
                 std::string_view("Ljtz").find(format_[p]) != std::string_view::npos) {
        ++p;
      }
      if (p < format_.size() && kConversions.find(format_[p]) != std::string_view::npos) {
        conv.conversion = format_[p++];
      }
    }
    if (p - pos_ >= kMaxPlaceholderLength) return false;
    const FormatArg* arg = TakeArgument(number);
    if (arg == nullptr) return false;
    pos_ = p;
    if (conv.conversion == 'n') return true;
    return Convert(*arg, conv);
  }

  bool Convert(const FormatArg& arg, Conversion& conv) {
    std::string_view accepted = AcceptedConversions(arg.kind());
    char conversion = conv.conversion;
    if (conversion == 0 || accepted.find(conversion) == std::string_view::npos) {
      conversion = accepted[0];
    }
    if (conv.has_width && conv.width < 0) {  // a negative "*" width means left-justified
      if (conv.flags.find('-') == std::string::npos) conv.flags += '-';
      conv.width = -conv.width;
    }
    if (conv.has_precision && conv.precision < 0) conv.has_precision = false;

    if (arg.kind() == FormatArg::Kind::kText) {
      // Texts are views, not NUL-terminated strings, so they are padded here instead of by
      // snprintf.
      std::string_view text = arg.text();
      if (conv.has_precision) text = text.substr(0, static_cast<size_t>(conv.precision));
      size_t pad = conv.has_width && static_cast<size_t>(conv.width) > text.size()
                       ? static_cast<size_t>(conv.width) - text.size()
                       : 0;
      bool left = conv.flags.find('-') != std::string::npos;
      if (!left) out_.AppendPadding(pad);
      out_.Append(text);
      if (left) out_.AppendPadding(pad);
      return true;
    }

    std::string c_spec = "%" + conv.flags;
    if (conv.has_width) c_spec += std::to_string(conv.width);
    if (conv.has_precision) c_spec += "." + std::to_string(conv.precision);
    bool is_signed_conversion = conversion == 'd' || conversion == 'i';
    switch (arg.kind()) {
      case FormatArg::Kind::kDouble:
        c_spec += conversion;
        return out_.AppendPrintf(c_spec.c_str(), arg.double_value());
      case FormatArg::Kind::kSigned32:
      case FormatArg::Kind::kUnsigned32: {
        c_spec += conversion;
        // The value is passed as the exact type its conversion reads.
        uint32_t bits = arg.kind() == FormatArg::Kind::kSigned32
                            ? static_cast<uint32_t>(arg.signed_value())
                            : static_cast<uint32_t>(arg.unsigned_value());
        if (is_signed_conversion || conversion == 'c') {
          return out_.AppendPrintf(c_spec.c_str(), static_cast<int>(bits));
        }
        return out_.AppendPrintf(c_spec.c_str(), static_cast<unsigned>(bits));
      }
      case FormatArg::Kind::kSigned64:
      case FormatArg::Kind::kUnsigned64: {
        uint64_t bits = arg.kind() == FormatArg::Kind::kSigned64
                            ? static_cast<uint64_t>(arg.signed_value())
                            : arg.unsigned_value();
        if (conversion == 'c') {
          c_spec += conversion;
          return out_.AppendPrintf(c_spec.c_str(), static_cast<int>(bits));
        }
        c_spec += "ll";
        c_spec += conversion;
        if (is_signed_conversion) {
          return out_.AppendPrintf(c_spec.c_str(), static_cast<long long>(bits));
        }
        return out_.AppendPrintf(c_spec.c_str(), static_cast<unsigned long long>(bits));
      }
      case FormatArg::Kind::kText:
        break;
    }
    return true;
  }

  std::string_view format_;
  const FormatArg* args_;
  size_t arg_count_;
  size_t pos_ = 0;
  size_t next_ = 0;
  Output out_;
};

}  // namespace

std::string FormatMessage(std::string_view format, std::initializer_list<FormatArg> args) {
  return Formatter(format, args).Run();
}

std::string FormatStatus(bool success, int64_t code, std::string_view message) {
  if (success) return "Success";
  return FormatMessage("%1 (%2)", message, static_cast<long long>(code));
}

}  // namespace Varn

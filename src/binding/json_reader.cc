#include "binding/json_reader.h"

#include <string>
#include <vector>

// clang-format off
#include "binding/rapidjson_simd.h"  // must precede the RapidJSON headers
// clang-format on
#include <rapidjson/error/en.h>
#include <rapidjson/reader.h>

#include "binding/binding_tree_builder.h"
#include "binding/message_format.h"
#include "binding/utf8.h"

namespace Varn {
namespace {

constexpr std::string_view kParseErrorFormat = "Error: %1 at offset %2.";
constexpr std::string_view kDepthErrorFormat = "Maximum nesting depth of %1 exceeded at offset %2.";

// The iterative parser keeps RapidJSON's own stack off the machine stack; the depth cap keeps
// our container stack (and the tree) bounded too.
constexpr unsigned kParseFlags = rapidjson::kParseIterativeFlag | rapidjson::kParseInsituFlag;

// Builds the tree as RapidJSON reports events. `target_` is the value the next scalar fills when
// the innermost container is a structure (the member named by the last key) or at the root;
// inside a collection every value is a new element.
class JsonTreeBuilder {
 public:
  // `buffer` is the text being parsed in place, so a string's decoded bytes start where its
  // source starts, just after the opening quote.
  JsonTreeBuilder(BindingProperty& root, const char* buffer) : target_(&root), buffer_(buffer) {}

  bool depth_exceeded() const { return depth_exceeded_; }
  // The offset just after the opening quote of the first string whose decoded text is not
  // UTF-8, or npos.
  size_t invalid_string() const { return invalid_string_; }
  // Hands the tree over whole; before anything else touches it.
  void Finish() { members_.Finish(); }

  bool Null() {
    Target().Reset();
    return true;
  }
  bool Bool(bool value) {
    Target().SetBool(value);
    return true;
  }
  bool Int(int value) {
    Target().SetSigned(static_cast<int64_t>(value));
    return true;
  }
  bool Uint(unsigned value) {
    Target().SetUnsigned(static_cast<uint64_t>(value));
    return true;
  }
  bool Int64(int64_t value) {
    Target().SetSigned(value);
    return true;
  }
  bool Uint64(uint64_t value) {
    Target().SetUnsigned(value);
    return true;
  }
  bool Double(double value) {
    Target().SetFloat(value);
    return true;
  }
  bool RawNumber(const char*, rapidjson::SizeType, bool) { return false; }  // flag never set
  bool String(const char* text, rapidjson::SizeType length, bool) {
    return Target().SetString(std::string_view(text, length), &IsText) || RefuseString(text);
  }
  bool StartObject() { return Open(false); }
  bool Key(const char* text, rapidjson::SizeType length, bool) {
    target_ = members_.Member(std::string_view(text, length), &IsText);
    return target_ != nullptr || RefuseString(text);
  }
  bool EndObject(rapidjson::SizeType) {
    Close();
    return true;
  }
  bool StartArray() { return Open(true); }
  bool EndArray(rapidjson::SizeType) {
    Close();
    return true;
  }

 private:
  BindingProperty& Target() {
    return members_.InCollection() ? members_.Innermost()->Append() : *target_;
  }

  bool Open(bool collection) {
    if (members_.Depth() >= kJsonMaxDepth) {
      depth_exceeded_ = true;
      return false;
    }
    BindingProperty& value = Target();
    if (collection) {
      value.MakeCollection();
      members_.OpenCollection(value);
    } else {
      value.MakeStructure();
      members_.OpenStructure(value);
    }
    return true;
  }

  void Close() { members_.Close(); }

  // RapidJSON checks that an escaped high surrogate is followed by a low one, but lets a lone
  // low surrogate through, and it passes raw bytes on unchecked; either would make a string that
  // no writer can store.
  // Checked once for each distinct text, as it enters the reader's own tree.
  static bool IsText(std::string_view text) { return IsValidUtf8(text); }
  [[gnu::noinline]] bool RefuseString(const char* text) {
    invalid_string_ = static_cast<size_t>(text - buffer_);
    return false;
  }

  BindingProperty* target_;
  const char* buffer_;
  size_t invalid_string_ = std::string_view::npos;
  // Holds the open containers. Pointers stay valid: only the innermost container grows, and
  // none of its elements or members is open while it does.
  BindingTreeBuilder members_;
  bool depth_exceeded_ = false;
};

bool IsBlank(const char* text) {
  while (*text == ' ' || *text == '\t' || *text == '\r' || *text == '\n') ++text;
  return *text == '\0';
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The code unit of the "\uXXXX" escape at `at`, or -1 when the four digits are not there.
int EscapedUnit(std::string_view text, size_t at) {
  if (at + 6 > text.size()) return -1;
  int unit = 0;
  for (size_t k = at + 2; k < at + 6; ++k) {
    const int digit = HexValue(text[k]);
    if (digit < 0) return -1;
    unit = unit * 16 + digit;
  }
  return unit;
}

// Finds, in the source of the string that starts at `offset` (just after its opening quote), the
// escape or raw sequence that made its decoded text ill-formed, and reports it as RapidJSON
// reports its own string faults: the offset of the escape's backslash or of the raw sequence.
void LocateStringFault(std::string_view text, size_t offset, rapidjson::ParseErrorCode& code,
                       size_t& at) {
  code = rapidjson::kParseErrorStringInvalidEncoding;
  at = offset;
  size_t i = offset;
  while (i < text.size() && text[i] != '"') {
    if (text[i] == '\\') {
      if (i + 1 < text.size() && text[i + 1] == 'u') {
        const int unit = EscapedUnit(text, i);
        if (unit >= 0xDC00 && unit <= 0xDFFF) {
          code = rapidjson::kParseErrorStringUnicodeSurrogateInvalid;
          at = i;
          return;
        }
        // A high surrogate reached here is paired: RapidJSON refuses it otherwise.
        i += unit >= 0xD800 && unit <= 0xDBFF ? 12 : 6;
      } else {
        i += 2;
      }
      continue;
    }
    const size_t length = Utf8SequenceLength(text, i);
    if (length == 0) {
      at = i;
      return;
    }
    i += length;
  }
}

// `buffer` is a copy of `text`, NUL-terminated, and is parsed in place: strings are decoded into
// it, so RapidJSON hands them over without copying them to its own stack first.
BindingResult ParseBuffer(std::string& buffer, std::string_view text) {
  BindingResult result;
  JsonTreeBuilder builder(result.value, buffer.data());
  rapidjson::Reader reader;
  rapidjson::InsituStringStream stream(buffer.data());
  const rapidjson::ParseResult parsed = reader.Parse<kParseFlags>(stream, builder);
  builder.Finish();
  if (parsed) return result;
  rapidjson::ParseErrorCode code = parsed.Code();
  if (code == rapidjson::kParseErrorDocumentEmpty) {
    // A blank document is an empty value, not a failure.
    if (IsBlank(buffer.c_str())) {
      result.value.Reset();
      return result;
    }
    // The iterative parser also says "empty" when the first token cannot start a value ("]",
    // "}", ",", ":"); the text is not empty, so report what the value parser reports there.
    code = rapidjson::kParseErrorValueInvalid;
  }
  if (builder.invalid_string() != std::string_view::npos) {
    size_t at = 0;
    LocateStringFault(text, builder.invalid_string(), code, at);
    result.SetError(FormatMessage(kParseErrorFormat, rapidjson::GetParseError_En(code),
                                  static_cast<uint64_t>(at)));
  } else if (builder.depth_exceeded()) {
    result.SetError(FormatMessage(kDepthErrorFormat, static_cast<uint32_t>(kJsonMaxDepth),
                                  static_cast<uint64_t>(parsed.Offset())));
  } else {
    result.SetError(FormatMessage(kParseErrorFormat, rapidjson::GetParseError_En(code),
                                  static_cast<uint64_t>(parsed.Offset())));
  }
  return result;
}

}  // namespace

BindingResult ParseJson(const char* text) {
  if (text == nullptr) return BindingResult();
  return ParseJson(std::string_view(text));
}

BindingResult ParseJson(const std::string& text) { return ParseJson(std::string_view(text)); }

BindingResult ParseJson(std::string_view text) {
  // RapidJSON's vector scans load whole aligned 16-byte blocks, up to 15 bytes past the NUL
  // that ends the text; the zero bytes behind it keep those loads inside the buffer. They
  // change nothing else: the text ends at its first NUL.
  std::string buffer;
  buffer.reserve(text.size() + kRapidJsonScanPadding);
  buffer.append(text);
  buffer.append(kRapidJsonScanPadding - 1, '\0');  // the string adds the last NUL itself
  return ParseBuffer(buffer, text);
}

}  // namespace Varn

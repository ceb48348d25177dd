#include "binding/yaml_writer.h"

#include <yaml.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>

#include "binding/base64.h"
#include "binding/utf8.h"

namespace Varn {
namespace {

constexpr char kNullTag[] = "tag:yaml.org,2002:null";
constexpr char kBoolTag[] = "tag:yaml.org,2002:bool";
constexpr char kIntTag[] = "tag:yaml.org,2002:int";
constexpr char kFloatTag[] = "tag:yaml.org,2002:float";
constexpr char kStrTag[] = "tag:yaml.org,2002:str";
constexpr char kSeqTag[] = "tag:yaml.org,2002:seq";
constexpr char kMapTag[] = "tag:yaml.org,2002:map";
constexpr std::string_view kSerializeFailed = "Failed to serialize BindingProperty.";

yaml_char_t* Chars(const char* text) {
  return reinterpret_cast<yaml_char_t*>(const_cast<char*>(text));
}

// Called from libyaml's C code, so nothing may be thrown through it: a failed allocation
// becomes a write error, which drops the whole text.
int AppendOutput(void* data, unsigned char* buffer, size_t size) {
  try {
    static_cast<std::string*>(data)->append(reinterpret_cast<const char*>(buffer), size);
    return 1;
  } catch (...) {
    return 0;
  }
}

// Writes `value` in fixed notation with six decimals, as "%f" prints it, whenever that text reads
// back as the same double; otherwise in the shortest fixed-notation text that does, so that 1e-7
// is not saved as 0. Fixed notation never takes an exponent, which the reader would not type as
// a float. Returns the end of the text; `buffer` must hold kFloatTextSize bytes: the largest
// double has 309 digits before the point and the smallest needs 324 after it.
//
// From 2^33 up a double's spacing exceeds 10^-6, so the six-decimal text, within half of 10^-6
// of the value, always reads back. Below 2^33 the spacing is under 10^-6: then the six-decimal
// text reads back exactly when the shortest text that reads back has at most six decimals, and
// it is that text padded with zeros (the value lies within half a spacing of it, so no other
// six-decimal number is nearer). One shortest conversion thus decides and writes both cases.
constexpr size_t kFloatTextSize = 400;
constexpr double kTwo33 = 8589934592.0;

char* WriteFloat(char* buffer, double value) {
  char* const last = buffer + kFloatTextSize;
  if (!std::isfinite(value) || std::fabs(value) >= kTwo33) {
    return std::to_chars(buffer, last, value, std::chars_format::fixed, 6).ptr;
  }
  char* end = std::to_chars(buffer, last, value, std::chars_format::fixed).ptr;
  const char* point = std::find(buffer, end, '.');
  const ptrdiff_t decimals = point == end ? 0 : end - point - 1;
  if (decimals > 6) return end;
  if (point == end) *end++ = '.';
  for (ptrdiff_t i = decimals; i < 6; ++i) *end++ = '0';
  return end;
}

// Emits one event per visitor call. After the first emitter failure it emits nothing more and
// the text is discarded, so a caller never saves a truncated document.
class YamlWriter final : public BindingVisitor {
 public:
  YamlWriter(const BindingEnumNames* enum_names, std::string_view line_break)
      : enum_names_(enum_names) {
    output_.reserve(4096);
    ok_ = yaml_emitter_initialize(&emitter_) != 0;
    if (!ok_) return;
    yaml_emitter_set_output(&emitter_, AppendOutput, &output_);
    yaml_emitter_set_indent(&emitter_, 4);
    yaml_emitter_set_width(&emitter_, -1);
    yaml_emitter_set_encoding(&emitter_, YAML_UTF8_ENCODING);
    if (line_break.starts_with("\r\n")) {
      yaml_emitter_set_break(&emitter_, YAML_CRLN_BREAK);
    } else if (line_break.starts_with("\r")) {
      yaml_emitter_set_break(&emitter_, YAML_CR_BREAK);
    } else if (line_break.starts_with("\n")) {
      yaml_emitter_set_break(&emitter_, YAML_LN_BREAK);
    }
  }
  ~YamlWriter() override { yaml_emitter_delete(&emitter_); }

  std::string Write(const BindingProperty& value, bool explicit_document_start) {
    yaml_event_t event;
    if (ok_) {
      yaml_stream_start_event_initialize(&event, YAML_UTF8_ENCODING);
      Emit(event);
    }
    if (ok_) {
      ok_ = yaml_document_start_event_initialize(&event, nullptr, nullptr, nullptr,
                                                 explicit_document_start ? 0 : 1) != 0;
      if (ok_) Emit(event);
    }
    value.Accept(*this);
    if (ok_) {
      yaml_document_end_event_initialize(&event, 1);
      Emit(event);
    }
    if (ok_) ok_ = yaml_emitter_flush(&emitter_) != 0;
    if (!ok_) output_.clear();
    return std::move(output_);
  }

  void OnNull() override { Scalar("null", 4, kNullTag, YAML_ANY_SCALAR_STYLE); }
  void OnBool(bool value) override {
    Scalar(value ? "true" : "false", value ? 4 : 5, kBoolTag, YAML_ANY_SCALAR_STYLE);
  }
  void OnSigned(int64_t value) override {
    char buffer[64];
    auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    Scalar(buffer, end - buffer, kIntTag, YAML_ANY_SCALAR_STYLE);
  }
  void OnUnsigned(uint64_t value) override {
    char buffer[64];
    auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    Scalar(buffer, end - buffer, kIntTag, YAML_ANY_SCALAR_STYLE);
  }
  void OnFloat(double value) override {
    char buffer[kFloatTextSize];
    const char* end = WriteFloat(buffer, value);
    Scalar(buffer, end - buffer, kFloatTag, YAML_ANY_SCALAR_STYLE);
  }
  void OnString(std::string_view text) override {
    if (!CheckText(text)) return;
    Scalar(text.data(), text.size(), kStrTag, YAML_DOUBLE_QUOTED_SCALAR_STYLE);
  }
  void OnBlob(std::span<const uint8_t> bytes) override {
    std::string text = Base64Encode(bytes);
    Scalar(text.data(), text.size(), kStrTag, YAML_DOUBLE_QUOTED_SCALAR_STYLE);
  }
  void OnEnum(BindingEnumValue value) override {
    const char* name = enum_names_ ? enum_names_->EnumValueName(value) : nullptr;
    if (name) {
      OnString(name);
    } else {
      OnSigned(value.value);
    }
  }
  void OnBeginCollection(size_t) override {
    if (!ok_) return;
    yaml_event_t event;
    ok_ = yaml_sequence_start_event_initialize(&event, nullptr, Chars(kSeqTag), 1,
                                               YAML_ANY_SEQUENCE_STYLE) != 0;
    if (ok_) Emit(event);
  }
  void OnBeginElement(size_t) override {}
  void OnEndElement(size_t) override {}
  void OnEndCollection() override {
    if (!ok_) return;
    yaml_event_t event;
    yaml_sequence_end_event_initialize(&event);
    Emit(event);
  }
  void OnBeginStructure(size_t) override {
    if (!ok_) return;
    yaml_event_t event;
    ok_ = yaml_mapping_start_event_initialize(&event, nullptr, Chars(kMapTag), 1,
                                              YAML_ANY_MAPPING_STYLE) != 0;
    if (ok_) Emit(event);
  }
  void OnKey(std::string_view key) override {
    if (!CheckText(key)) return;
    Scalar(key.data(), key.size(), kStrTag, YAML_ANY_SCALAR_STYLE);
  }
  void OnEndMember(std::string_view) override {}
  void OnEndStructure() override {
    if (!ok_) return;
    yaml_event_t event;
    yaml_mapping_end_event_initialize(&event);
    Emit(event);
  }

 private:
  // libyaml writes surrogates and code points past U+10FFFF as escapes that no YAML reader
  // accepts, so a file holding one could be saved but not loaded: such text fails the write.
  bool CheckText(std::string_view text) {
    if (!IsValidUtf8(text)) ok_ = false;
    return ok_;
  }

  // The emitter takes the event and deletes it, whether it succeeds or not.
  void Emit(yaml_event_t& event) { ok_ = yaml_emitter_emit(&emitter_, &event) != 0; }

  void Scalar(const char* text, ptrdiff_t length, const char* tag, yaml_scalar_style_t style) {
    if (!ok_) return;
    if (length > INT32_MAX) {
      ok_ = false;
      return;
    }
    yaml_event_t event;
    // Fails for text that is not valid UTF-8, which libyaml refuses to write.
    ok_ = yaml_scalar_event_initialize(&event, nullptr, Chars(tag), Chars(text),
                                       static_cast<int>(length), 1, 1, style) != 0;
    if (ok_) Emit(event);
  }

  const BindingEnumNames* enum_names_;
  yaml_emitter_t emitter_;
  std::string output_;
  bool ok_ = false;
};

}  // namespace

std::string WriteYaml(const BindingProperty& value, const BindingEnumNames* enum_names,
                      std::string_view line_break, bool explicit_document_start) {
  if (value.IsEmpty()) return std::string();
  YamlWriter writer(enum_names, line_break);
  return writer.Write(value, explicit_document_start);
}

FileStatus SaveYamlFile(std::string_view path, const BindingProperty& value,
                        const BindingEnumNames* enum_names, std::string_view line_break,
                        bool explicit_document_start) {
  std::string text = WriteYaml(value, enum_names, line_break, explicit_document_start);
  if (text.empty()) return FileStatus::Failure(std::string(kSerializeFailed));
  return WriteFileAtomically(path, text);
}

}  // namespace Varn

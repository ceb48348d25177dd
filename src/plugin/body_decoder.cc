#include "plugin/body_decoder.h"

#include <array>

#include "binding/json_reader.h"
#include "binding/message_format.h"
#include "binding/msgpack_reader.h"
#include "binding/yaml_reader.h"
#include "plugin/route_table.h"

namespace Varn {
namespace {

constexpr std::string_view kDeserializeJson =
    "Couldn't deserialize JSON value for parameter '%1' of '%2': %3";
constexpr std::string_view kDeserializeYaml =
    "Couldn't deserialize YAML value for parameter '%1' of '%2': %3";
constexpr std::string_view kDeserializeMsgPack =
    "Couldn't deserialize MessagePack value for parameter '%1' of '%2': %3";

constexpr std::string_view kTruncatedMsgPack = "The value ends early, after %1 bytes.";

struct ContentType {
  std::string_view name;
  BodyFormat format;
};
constexpr std::array<ContentType, 4> kBodyTypes = {{
    {"application/x-msgpack", BodyFormat::kMsgPack},
    {"application/json", BodyFormat::kJson},
    {"application/vnd.api+json", BodyFormat::kJson},
    {"application/x-yaml", BodyFormat::kYaml},
}};

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (Lower(text[i]) != prefix[i]) return false;
  }
  return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

BindingResult Failed(std::string_view format, std::string_view parameter, std::string_view function,
                     std::string_view message) {
  return BindingResult::Error(FormatMessage(format, parameter, function, message));
}

BindingResult DecodeJson(std::string_view text, std::string_view parameter,
                         std::string_view function) {
  BindingResult result = ParseJson(text);
  if (result.IsOk()) return result;
  return Failed(kDeserializeJson, parameter, function, result.ErrorMessage());
}

BindingResult DecodeYaml(std::string_view text, std::string_view parameter,
                         std::string_view function) {
  BindingResult result = ParseYaml(text);
  if (result.IsOk()) return result;
  return Failed(kDeserializeYaml, parameter, function, result.ErrorMessage());
}

// `whole` demands that the value uses every byte, as a body must.
BindingResult DecodeMsgPack(std::string_view bytes, std::string_view parameter,
                            std::string_view function, bool whole) {
  size_t consumed = 0;
  bool complete = false;
  BindingResult result = ParseMsgPack(bytes.data(), bytes.size(), &consumed, &complete);
  if (!result.IsOk()) {
    return Failed(kDeserializeMsgPack, parameter, function, result.ErrorMessage());
  }
  // The reader hands back what it read of a value cut short; a request must not bind half of it.
  if (!complete) {
    return Failed(kDeserializeMsgPack, parameter, function,
                  FormatMessage(kTruncatedMsgPack, consumed));
  }
  if (whole && consumed != bytes.size()) return BindingResult::Error(kExtraMsgPack);
  return result;
}

}  // namespace

BodyFormat BodyFormatOf(std::string_view content_type) {
  for (const ContentType& type : kBodyTypes) {
    if (StartsWithIgnoringCase(content_type, type.name)) return type.format;
  }
  return BodyFormat::kUnsupported;
}

BindingResult DecodeBody(std::string_view content_type, std::span<const uint8_t> body,
                         std::string_view parameter, std::string_view function) {
  std::string_view bytes(reinterpret_cast<const char*>(body.data()), body.size());
  switch (BodyFormatOf(content_type)) {
    case BodyFormat::kJson:
      return DecodeJson(bytes, parameter, function);
    case BodyFormat::kYaml:
      return DecodeYaml(bytes, parameter, function);
    case BodyFormat::kMsgPack:
      return DecodeMsgPack(bytes, parameter, function, true);
    case BodyFormat::kUnsupported:
      break;
  }
  return BindingResult::Error(kUnsupportedBody);
}

BindingResult DecodeTextValue(std::string_view text, std::string_view parameter,
                              std::string_view function, BindingProperty& target) {
  BindingResult decoded;
  bool structured = true;
  size_t start = 0;
  while (start < text.size() && IsBlank(text[start])) ++start;
  std::string_view rest = text.substr(start);
  auto first = text.empty() ? 0 : static_cast<uint8_t>(text[0]);
  if ((first >= 0x80 && first <= 0x9F) || (first >= 0xDC && first <= 0xDF)) {
    decoded = DecodeMsgPack(text, parameter, function, false);
  } else if (!rest.empty() && (rest[0] == '{' || rest[0] == '[')) {
    decoded = DecodeJson(text, parameter, function);
  } else if (rest.starts_with("---")) {
    decoded = DecodeYaml(text, parameter, function);
  } else {
    structured = false;
  }
  if (!structured) {
    target.SetString(text);
    return decoded;
  }
  if (decoded.IsOk()) {
    target = decoded.value;
    decoded.value.Reset();
  }
  return decoded;
}

}  // namespace Varn

// Decoding of request values: a body by its content type, and a text value (a path capture or a
// query value, which carry no content type) by its first bytes.
#ifndef ZEK_PLUGIN_BODY_DECODER_H_
#define ZEK_PLUGIN_BODY_DECODER_H_

#include <cstdint>
#include <span>
#include <string_view>

#include "binding/binding_property.h"

namespace Varn {

enum class BodyFormat : uint8_t { kUnsupported, kJson, kYaml, kMsgPack };

// "application/x-msgpack" is MessagePack, "application/json" and "application/vnd.api+json" JSON,
// "application/x-yaml" YAML. Case is ignored and only each name's length is compared, so
// parameters after the type ("; charset=utf-8") are allowed.
BodyFormat BodyFormatOf(std::string_view content_type);

// Decodes a request body for `parameter` of `function`. MessagePack must use every byte.
BindingResult DecodeBody(std::string_view content_type, std::span<const uint8_t> body,
                         std::string_view parameter, std::string_view function);

// A text without content type: MessagePack when its first byte is 0x80-0x9F or 0xDC-0xDF, JSON
// when its first non-blank character is "{" or "[", YAML when after blanks it starts with "---",
// else the text as a string. The value goes to `target`; a failure leaves it as it was.
BindingResult DecodeTextValue(std::string_view text, std::string_view parameter,
                              std::string_view function, BindingProperty& target);

}  // namespace Varn

#endif  // ZEK_PLUGIN_BODY_DECODER_H_

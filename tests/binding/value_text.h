// A compact one-line text of a value tree for tables of expected decoder results: kinds are
// visible (u5 unsigned, s5 signed, f5 float), strings are quoted raw bytes, blobs b'hex',
// collections [..], structures {key:value,...} in key order.
#ifndef ZEK_TESTS_BINDING_VALUE_TEXT_H_
#define ZEK_TESTS_BINDING_VALUE_TEXT_H_

#include <charconv>
#include <cstdio>
#include <string>

#include "binding/binding_property.h"

namespace Varn {

inline void AppendValueText(const BindingProperty& value, std::string& out) {
  switch (value.GetType()) {
    case BindingPropertyType::Empty:
      out += "null";
      return;
    case BindingPropertyType::Bool:
      out += value.GetBool() ? "true" : "false";
      return;
    case BindingPropertyType::Signed:
      out += "s" + std::to_string(value.GetSigned());
      return;
    case BindingPropertyType::Unsigned:
      out += "u" + std::to_string(value.GetUnsigned());
      return;
    case BindingPropertyType::Float: {
      char buffer[40];
      const auto end = std::to_chars(buffer, buffer + sizeof(buffer), value.GetFloat()).ptr;
      out += "f" + std::string(buffer, end);
      return;
    }
    case BindingPropertyType::String:
      out += "\"" + std::string(value.GetString()) + "\"";
      return;
    case BindingPropertyType::Blob: {
      out += "b'";
      for (uint8_t byte : value.GetBlob()) {
        char hex[3];
        std::snprintf(hex, sizeof(hex), "%02x", byte);
        out += hex;
      }
      out += "'";
      return;
    }
    case BindingPropertyType::Enum:
      out += "e" + std::to_string(value.GetEnum().value);
      return;
    case BindingPropertyType::Collection:
      out += "[";
      for (size_t i = 0; i < value.Size(); ++i) {
        if (i > 0) out += ",";
        AppendValueText(value.At(i), out);
      }
      out += "]";
      return;
    case BindingPropertyType::Structure: {
      out += "{";
      bool first = true;
      value.ForEachMember([&](std::string_view key, const BindingProperty& member) {
        if (!first) out += ",";
        first = false;
        out += std::string(key) + ":";
        AppendValueText(member, out);
      });
      out += "}";
      return;
    }
  }
  out += "?";
}

inline std::string ValueText(const BindingProperty& value) {
  std::string out;
  AppendValueText(value, out);
  return out;
}

}  // namespace Varn

#endif  // ZEK_TESTS_BINDING_VALUE_TEXT_H_

// Small builders and a printer for BindingProperty values in the YAML tests.
#ifndef ZEK_TESTS_BINDING_YAML_TEST_VALUES_H_
#define ZEK_TESTS_BINDING_YAML_TEST_VALUES_H_

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

#include "binding/binding_property.h"

namespace Varn::yaml_test {

inline BindingProperty Empty() { return BindingProperty(); }
inline BindingProperty Bool(bool b) {
  BindingProperty v;
  v.SetBool(b);
  return v;
}
inline BindingProperty Signed(int64_t n) {
  BindingProperty v;
  v.SetSigned(n);
  return v;
}
inline BindingProperty Unsigned(uint64_t n) {
  BindingProperty v;
  v.SetUnsigned(n);
  return v;
}
inline BindingProperty Float(double d) {
  BindingProperty v;
  v.SetFloat(d);
  return v;
}
inline BindingProperty Str(std::string_view s) {
  BindingProperty v;
  v.SetString(s);
  return v;
}
inline BindingProperty Seq(std::initializer_list<BindingProperty> items) {
  BindingProperty v;
  v.MakeCollection();
  for (const BindingProperty& item : items) v.Append() = item;
  return v;
}
inline BindingProperty Map(
    std::initializer_list<std::pair<std::string_view, BindingProperty>> members) {
  BindingProperty v;
  v.MakeStructure();
  for (const auto& [key, value] : members) v.Field(key) = value;
  return v;
}

// A one-line rendering that shows kinds, for failure messages.
inline std::string Show(const BindingProperty& v) {
  switch (v.GetType()) {
    case BindingPropertyType::Empty:
      return "empty";
    case BindingPropertyType::Bool:
      return v.GetBool() ? "true" : "false";
    case BindingPropertyType::Signed:
      return "s" + std::to_string(v.GetSigned());
    case BindingPropertyType::Unsigned:
      return "u" + std::to_string(v.GetUnsigned());
    case BindingPropertyType::Float:
      return "f" + std::to_string(v.GetFloat());
    case BindingPropertyType::String:
      return "\"" + std::string(v.GetString()) + "\"";
    case BindingPropertyType::Blob:
      return "blob(" + std::to_string(v.Size()) + ")";
    case BindingPropertyType::Enum:
      return "enum(" + std::to_string(v.GetEnum().value) + ")";
    case BindingPropertyType::Collection: {
      std::string out = "[";
      for (size_t i = 0; i < v.Size(); ++i) out += (i ? ", " : "") + Show(v.At(i));
      return out + "]";
    }
    case BindingPropertyType::Structure: {
      std::string out = "{";
      bool first = true;
      v.ForEachMember([&](std::string_view key, const BindingProperty& member) {
        out += (first ? "" : ", ") + std::string(key) + ": " + Show(member);
        first = false;
      });
      return out + "}";
    }
  }
  return "?";
}

}  // namespace Varn::yaml_test

#endif  // ZEK_TESTS_BINDING_YAML_TEST_VALUES_H_

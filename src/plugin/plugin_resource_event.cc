#include "plugin/plugin_resource_event.h"

#include <array>

#include "binding/binding_assign.h"
#include "binding/message_format.h"
#include "plugin/route_argument.h"

namespace Varn {
namespace {

constexpr std::string_view kTypeName = "PluginResourceEvent";
constexpr std::string_view kEnumName = "PluginResourceEventType";
constexpr std::string_view kRequired = "A value for '%1' is required.";
constexpr std::string_view kNotStructure =
    "Couldn't assign value to '%1' of type %2 because the input not a structure.";
constexpr std::string_view kBadEnum = "%1 is not a valid %2 enumeration value for '%3'.";
constexpr std::string_view kEnumKind =
    "Couldn't assign value to '%1' of enum type because the input is of an invalid type %2.";

constexpr std::array<std::string_view, 3> kTypeNames = {"Create", "Update", "Delete"};

bool IsKnown(int64_t value) {
  return value >= 0 && value < static_cast<int64_t>(kTypeNames.size());
}

}  // namespace

namespace Client {

std::string_view PluginResourceEventTypeName(PluginResourceEventType type) {
  auto index = static_cast<int64_t>(type);
  return IsKnown(index) ? kTypeNames[static_cast<size_t>(index)] : std::string_view{};
}

}  // namespace Client

void AssignResourceEventType(BindingResult& result, const BindingProperty& value,
                             std::string_view field_name, Client::PluginResourceEventType& out) {
  if (!result.IsOk()) return;
  int64_t number = 0;
  switch (value.GetType()) {
    case BindingPropertyType::Empty:
      return result.SetError(FormatMessage(kRequired, field_name));
    case BindingPropertyType::Signed:
      number = value.GetSigned();
      if (!IsKnown(number))
        return result.SetError(FormatMessage(kBadEnum, number, kEnumName, field_name));
      break;
    case BindingPropertyType::Unsigned: {
      uint64_t wide = value.GetUnsigned();
      if (wide >= kTypeNames.size()) {
        return result.SetError(FormatMessage(kBadEnum, wide, kEnumName, field_name));
      }
      number = static_cast<int64_t>(wide);
      break;
    }
    case BindingPropertyType::Enum:
      number = value.GetEnum().value;
      if (!IsKnown(number))
        return result.SetError(FormatMessage(kBadEnum, number, kEnumName, field_name));
      break;
    case BindingPropertyType::String: {
      std::string_view text = value.GetString();
      for (size_t i = 0; i < kTypeNames.size(); ++i) {
        if (kTypeNames[i] == text) {
          out = static_cast<Client::PluginResourceEventType>(i);
          return;
        }
      }
      // Not a name: the text may still spell a value ("1", "0x2").
      BindingResult read;
      int64_t parsed = AssignSigned(read, value, field_name, INT32_MIN, INT32_MAX, kEnumName);
      if (!read.IsOk() || !IsKnown(parsed)) {
        return result.SetError(FormatMessage(kBadEnum, text, kEnumName, field_name));
      }
      number = parsed;
      break;
    }
    default:
      return result.SetError(
          FormatMessage(kEnumKind, field_name, BindingProperty::TypeName(value.GetType())));
  }
  out = static_cast<Client::PluginResourceEventType>(number);
}

void ResourceEventFromValue(BindingResult& result, const BindingProperty& value,
                            std::string_view field_name, Client::PluginResourceEvent& event) {
  if (!result.IsOk()) return;
  if (value.IsEmpty()) return result.SetError(FormatMessage(kRequired, field_name));
  if (value.GetType() != BindingPropertyType::Structure) {
    return result.SetError(FormatMessage(kNotStructure, field_name, kTypeName));
  }
  if (const BindingProperty* uri = value.TryFind("uri"); uri != nullptr && !uri->IsEmpty()) {
    std::string_view text = AssignString(result, *uri, "uri", nullptr);
    if (result.IsOk()) event.uri.assign(text);
  }
  if (const BindingProperty* type = value.TryFind("eventType");
      type != nullptr && !type->IsEmpty()) {
    AssignResourceEventType(result, *type, "eventType", event.eventType);
  }
  if (!result.IsOk()) return;
  if (const BindingProperty* data = value.TryFind("data"); data != nullptr && !data->IsEmpty()) {
    event.data = *data;
  }
}

BindingProperty ResourceEventToValue(std::string_view uri, Client::PluginResourceEventType type,
                                     const BindingProperty& data) {
  BindingProperty value;
  value.Field("uri").SetString(uri);
  value.Field("eventType").SetString(Client::PluginResourceEventTypeName(type));
  value.Field("data") = data;
  return value;
}

}  // namespace Varn

#include "binding/builtin_types.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "binding/binding_convert.h"
#include "binding/binding_registry.h"

namespace Varn {
namespace {

struct TypeCase {
  const char* name;
  BindingTypeKind kind;
  const char* tag;  // "" when untagged
  const char* description;
  std::vector<std::string> members;  // fields or enumerators in registered order
};

TEST(BuiltinTypesTest, EveryRegistryStartsWithThem) {
  BindingRegistry registry;
  using K = BindingTypeKind;
  const TypeCase cases[] = {
      {"BindingAsyncState",
       K::Enumeration,
       "async",
       "Possible states of an asynchronous operation.",
       {"Cancelled", "Cancelling", "Failed", "None", "Running", "Succeeded"}},
      {"BindingGenericEvent", K::Structure, "", "Represents generic data for an event.", {"data"}},
      {"BindingCallbackEvent",
       K::Structure,
       "",
       "Represents the parameters of a call to a provided callback.",
       {"id", "parameters"}},
      {"BindingGenericAsyncEvent",
       K::Structure,
       "async",
       "Represents generic data for an asynchronous event.",
       {"asyncToken", "data"}},
      {"BindingAsyncFailureEvent",
       K::Structure,
       "async",
       "Represents a failed asynchronous operation.",
       {"asyncToken", "error"}},
      {"BindingAsyncCancelEvent",
       K::Structure,
       "async",
       "Represents a cancelled asynchronous operation.",
       {"asyncToken"}},
      {"BindingHelpFormat",
       K::Enumeration,
       "help",
       "Help format for binding functions and types.",
       {"Epytext", "Full"}},
      {"BindingFullTypeIdentifier",
       K::Structure,
       "help",
       "Describes the type of a value.",
       {"type", "elementType"}},
      {"BindingFullArgumentHelp",
       K::Structure,
       "help",
       "Describes a function parameter.",
       {"name", "description", "type", "optional"}},
      {"BindingFullFunctionHelp",
       K::Structure,
       "help",
       "Describes a function.",
       {"name", "nameSpace", "returns", "arguments", "description", "help", "threadSafe", "async",
        "tags"}},
      {"BindingFullEnumValueHelp",
       K::Structure,
       "help",
       "Describes an enumerator.",
       {"name", "value", "description"}},
      {"BindingFullFieldHelp",
       K::Structure,
       "help",
       "Describes a member of a struct.",
       {"name", "description", "type", "offset", "optional"}},
      {"BindingFullTypeHelp",
       K::Structure,
       "help",
       "Describes a struct or enum type.",
       {"name", "nameSpace", "size", "description", "tags", "fields", "values"}},
      {"BindingFullEventHelp",
       K::Structure,
       "help",
       "Describes an event.",
       {"name", "nameSpace", "type", "description", "tags"}},
      {"BindingFullApiHelp",
       K::Structure,
       "help",
       "Describes the exposed native API.",
       {"functions", "types", "events"}},
  };
  std::vector<std::string> registered;
  for (const BindingTypeInfo* type : registry.Types()) registered.push_back(type->name);
  std::vector<std::string> expected_order;
  for (const TypeCase& c : cases) expected_order.push_back(c.name);
  EXPECT_EQ(registered, expected_order);

  for (const TypeCase& c : cases) {
    SCOPED_TRACE(c.name);
    const BindingTypeInfo* type = registry.FindTypeByName(c.name);
    ASSERT_NE(type, nullptr);
    EXPECT_EQ(type->typeKind, c.kind);
    EXPECT_EQ(type->nameSpace, "$builtin");
    EXPECT_EQ(type->description, c.description);
    EXPECT_EQ(type->tags, std::string(c.tag).empty() ? std::vector<std::string>{}
                                                     : std::vector<std::string>{c.tag});
    std::vector<std::string> members;
    for (const auto& f : type->fields) members.push_back(f.name);
    for (const auto& e : type->enumerators) members.push_back(e.name);
    EXPECT_EQ(members, c.members);
    // Every record member that refers to another type finds it registered.
    for (const auto& f : type->fields) {
      bool refers = f.kind == NativeKind::Struct || f.kind == NativeKind::Enum ||
                    f.elementKind == NativeKind::Struct || f.elementKind == NativeKind::Enum;
      EXPECT_EQ(f.typeInfo != nullptr, refers) << f.name;
    }
  }
}

TEST(BuiltinTypesTest, DescriptionsAndValues) {
  BindingRegistry registry;
  const BindingTypeInfo* state = registry.FindTypeByName("BindingAsyncState");
  ASSERT_NE(state, nullptr);
  const BindingEnumerator* none = state->FindEnumerator(std::string_view("None"));
  ASSERT_NE(none, nullptr);
  EXPECT_EQ(none->value, 0);
  EXPECT_EQ(none->description, "Invalid state");
  EXPECT_EQ(state->FindEnumerator(std::string_view("Failed"))->value, 5);

  const BindingTypeInfo* format = registry.FindTypeByName("BindingHelpFormat");
  ASSERT_NE(format, nullptr);
  EXPECT_EQ(format->FindEnumerator(std::string_view("Epytext"))->description,
            "Python epytext format");

  const BindingTypeInfo* callback = registry.FindTypeByName("BindingCallbackEvent");
  ASSERT_NE(callback, nullptr);
  EXPECT_EQ(callback->fields[0].description, "ID of the callback being invoked");
  EXPECT_EQ(callback->fields[0].kind, NativeKind::Uint32);
  EXPECT_EQ(callback->fields[1].kind, NativeKind::Vector);
  EXPECT_EQ(callback->fields[1].elementKind, NativeKind::Object);

  const BindingEventInfo* event = registry.FindEvent("$builtin", "OnCallback");
  ASSERT_NE(event, nullptr);
  EXPECT_EQ(event->description, "Fired when a callback is invoked.");
  EXPECT_EQ(event->type, callback);
}

// The help records nest vectors of records in records; a round trip shows their declarations
// agree with the native layout.
TEST(BuiltinTypesTest, HelpRecordRoundTrip) {
  BindingRegistry registry;
  const BindingTypeInfo* type_help = registry.FindTypeByName("BindingFullTypeHelp");
  ASSERT_NE(type_help, nullptr);
  BindingFullTypeHelp help;
  help.name = "LoginSession";
  help.nameSpace = "test";
  help.size = 48;
  help.tags = {"a", "b"};
  help.fields = {{"state", "Session state", {"enum", ""}, 0, false},
                 {"profileId", "", {"uint64", ""}, 8, true}};
  help.values = {{"SUCCEEDED", 1, "done"}};

  BindingResult out = ToBinding(&help, type_help);
  ASSERT_TRUE(out.IsOk()) << out.ErrorMessage();
  EXPECT_EQ(out.value.Find("fields").At(1).Find("type").Find("type").GetString(), "uint64");

  BindingFullTypeHelp back;
  BindingResult result;
  FromBinding(result, out.value, "help", type_help, &back);
  ASSERT_TRUE(result.IsOk()) << result.ErrorMessage();
  EXPECT_EQ(back.name, help.name);
  EXPECT_EQ(back.size, help.size);
  EXPECT_EQ(back.tags, help.tags);
  ASSERT_EQ(back.fields.size(), 2u);
  EXPECT_EQ(back.fields[1].name, "profileId");
  EXPECT_EQ(back.fields[1].type.type, "uint64");
  EXPECT_EQ(back.fields[1].offset, 8u);
  EXPECT_TRUE(back.fields[1].optional);
  ASSERT_EQ(back.values.size(), 1u);
  EXPECT_EQ(back.values[0].value, 1);
  EXPECT_EQ(back.values[0].description, "done");
}

TEST(BuiltinTypesTest, RegisteringTwiceAddsNothing) {
  BindingRegistry registry;
  const size_t types = registry.Types().size();
  const size_t events = registry.Events().size();
  RegisterBuiltinTypes(registry);
  EXPECT_EQ(registry.Types().size(), types);
  EXPECT_EQ(registry.Events().size(), events);
}

}  // namespace
}  // namespace Varn

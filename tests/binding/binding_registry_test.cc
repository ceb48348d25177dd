#include "binding/binding_registry.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "binding/binding_record_builder.h"
#include "binding/builtin_types.h"

namespace Varn {
namespace {

enum class Outcome : uint8_t { Error = 3, Failed = 3, Ok = 1 };

struct Pair {
  int32_t first = 0;
  int32_t second = 0;
};

TEST(BindingRegistryTest, FindsTypesByNameAndHash) {
  BindingRegistry registry;
  const BindingTypeInfo* pair = DeclareStructure<Pair>(registry, "Pair")
                                    .Description("Two numbers.")
                                    .Field(ZEK_MEMBER(Pair, first), "First")
                                    .Field(ZEK_MEMBER_AS(Pair, second, "2nd"), "Second")
                                    .Finish();
  ASSERT_NE(pair, nullptr);
  EXPECT_EQ(registry.FindTypeByName("Pair"), pair);
  EXPECT_EQ(registry.FindType(StaticTypeOf<Pair>().HashCode()), pair);
  EXPECT_EQ(registry.FindTypeByName("pair"), nullptr);
  EXPECT_EQ(registry.FindType(StaticTypeOf<Pair*>().HashCode()), nullptr);

  EXPECT_EQ(pair->size, sizeof(Pair));
  EXPECT_EQ(pair->description, "Two numbers.");
  ASSERT_EQ(pair->fields.size(), 2u);
  EXPECT_EQ(pair->fields[0].name, "first");
  EXPECT_EQ(pair->fields[0].offset, offsetof(Pair, first));
  EXPECT_EQ(pair->fields[0].kind, NativeKind::Int32);
  EXPECT_EQ(pair->fields[0].nameHash, Fnv1a("first"));
  EXPECT_EQ(pair->fields[1].name, "2nd");
  EXPECT_EQ(pair->fields[1].offset, offsetof(Pair, second));
}

TEST(BindingRegistryTest, SecondDeclarationOfANameIsIgnored) {
  BindingRegistry registry;
  DeclareStructure<Pair>(registry, "Pair").Field(ZEK_MEMBER(Pair, first), "");
  auto again = DeclareStructure<Pair>(registry, "Pair");
  EXPECT_FALSE(again.IsNew());
  again.Field(ZEK_MEMBER(Pair, second), "");
  EXPECT_EQ(again.Finish(), nullptr);
  const BindingTypeInfo* pair = registry.FindTypeByName("Pair");
  ASSERT_NE(pair, nullptr);
  ASSERT_EQ(pair->fields.size(), 1u);
  EXPECT_EQ(pair->fields[0].name, "first");
}

TEST(BindingRegistryTest, TypeIsInvisibleUntilFinished) {
  BindingRegistry registry;
  auto builder = DeclareStructure<Pair>(registry, "Pair");
  builder.Field(ZEK_MEMBER(Pair, first), "");
  EXPECT_EQ(registry.FindTypeByName("Pair"), nullptr);
  const BindingTypeInfo* pair = builder.Finish();
  EXPECT_EQ(registry.FindTypeByName("Pair"), pair);
}

TEST(BindingRegistryTest, EnumValueNames) {
  BindingRegistry registry;
  const BindingTypeInfo* outcome = DeclareEnum<Outcome>(registry, "Outcome")
                                       .Value("Failed", Outcome::Failed)
                                       .Value("Error", Outcome::Error)
                                       .Value("Ok", Outcome::Ok)
                                       .Finish();
  ASSERT_NE(outcome, nullptr);
  EXPECT_EQ(outcome->size, 1u);
  const uint32_t hash = outcome->hashCode;
  struct Case {
    BindingEnumValue value;
    const char* name;  // null when there is none
  } cases[] = {
      {{3, hash}, "Error"},  // two names share 3: the first in name order
      {{1, hash}, "Ok"},
      {{2, hash}, nullptr},
      {{1, hash + 1}, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value.value);
    const char* name = registry.EnumValueName(c.value);
    if (c.name == nullptr) {
      EXPECT_EQ(name, nullptr);
    } else {
      ASSERT_NE(name, nullptr);
      EXPECT_STREQ(name, c.name);
    }
  }
  // Enumerators are kept sorted by name.
  ASSERT_EQ(outcome->enumerators.size(), 3u);
  EXPECT_EQ(outcome->enumerators[0].name, "Error");
  EXPECT_EQ(outcome->enumerators[2].name, "Ok");
}

template <int N>
struct Numbered {
  int32_t value = N;
};

template <int... N>
void DeclareNumbered(BindingRegistry& registry, std::integer_sequence<int, N...>) {
  (DeclareStructure<Numbered<N>>(registry, "Numbered" + std::to_string(N))
       .Field(ZEK_MEMBER(Numbered<N>, value), ""),
   ...);
}

// One thread registers while another looks up: every look-up sees either nothing or a whole
// type, and all types are there once both are done.
TEST(BindingRegistryTest, LookupsFromTwoThreads) {
  constexpr int kTypes = 64;
  BindingRegistry registry;
  std::atomic<bool> done{false};
  std::atomic<int> partial{0};
  std::thread writer([&] {
    DeclareNumbered(registry, std::make_integer_sequence<int, kTypes>());
    done = true;
  });
  std::thread reader([&] {
    do {
      for (int i = 0; i < kTypes; ++i) {
        const BindingTypeInfo* type = registry.FindTypeByName("Numbered" + std::to_string(i));
        if (type != nullptr && type->fields.size() != 1) ++partial;
        const char* name = registry.EnumValueName(
            BindingEnumValue{0, StaticTypeOf<BindingAsyncState>().HashCode()});
        if (name == nullptr || std::string(name) != "None") ++partial;
      }
    } while (!done);
  });
  writer.join();
  reader.join();
  EXPECT_EQ(partial, 0);
  for (int i = 0; i < kTypes; ++i) {
    EXPECT_NE(registry.FindTypeByName("Numbered" + std::to_string(i)), nullptr) << i;
  }
}

TEST(BindingRegistryTest, EventsAndFunctions) {
  BindingRegistry registry;
  BindingEventInfo event;
  event.name = "OnThing";
  event.nameSpace = "test";
  const BindingEventInfo* added = registry.AddEvent(event);
  ASSERT_NE(added, nullptr);
  EXPECT_EQ(registry.AddEvent(event), nullptr);
  EXPECT_EQ(registry.FindEvent("test", "OnThing"), added);
  EXPECT_EQ(registry.FindEvent("other", "OnThing"), nullptr);

  BindingFunctionInfo function;
  function.name = "GetThing";
  const BindingFunctionInfo* f = registry.AddFunction(function);
  auto functions = registry.Functions();
  ASSERT_EQ(functions.size(), 1u);
  EXPECT_EQ(functions[0], f);
}

}  // namespace
}  // namespace Varn

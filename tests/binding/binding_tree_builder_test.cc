#include "binding/binding_tree_builder.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "binding/binding_arena.h"
#include "binding/json_reader.h"
#include "tests/binding/value_text.h"

namespace Varn {
namespace {

// The same document built member by member with Field and Append: what the builder must equal.
// Events are a tiny language: "{" "}" "[" "]" open and close, "k:name" names the next member,
// "s:text" and "i:n" are scalars.
void BuildWithField(BindingProperty& root, const std::vector<std::string>& events) {
  struct Open {
    BindingProperty* value;
    bool collection;
  };
  std::vector<Open> open;
  BindingProperty* next = &root;
  const auto target = [&]() -> BindingProperty& {
    if (!open.empty() && open.back().collection) return open.back().value->Append();
    return *next;
  };
  for (const std::string& e : events) {
    if (e == "{" || e == "[") {
      BindingProperty& v = target();
      if (e == "{") {
        v.MakeStructure();
      } else {
        v.MakeCollection();
      }
      open.push_back({&v, e == "["});
    } else if (e == "}" || e == "]") {
      open.pop_back();
    } else if (e.starts_with("k:")) {
      next = &open.back().value->Field(e.substr(2));
    } else if (e.starts_with("s:")) {
      target().SetString(e.substr(2));
    } else {
      target().SetSigned(std::stoll(e.substr(2)));
    }
  }
}

// As above, through the builder; `finish_after` stops early (as a reader does on an error).
void BuildWithBuilder(BindingProperty& root, const std::vector<std::string>& events,
                      size_t finish_after = SIZE_MAX) {
  BindingTreeBuilder builder;
  BindingProperty* next = &root;
  const auto target = [&]() -> BindingProperty& {
    return builder.InCollection() ? builder.Innermost()->Append() : *next;
  };
  size_t done = 0;
  for (const std::string& e : events) {
    if (done++ == finish_after) break;
    if (e == "{") {
      BindingProperty& v = target();
      v.MakeStructure();
      builder.OpenStructure(v);
    } else if (e == "[") {
      BindingProperty& v = target();
      v.MakeCollection();
      builder.OpenCollection(v);
    } else if (e == "}" || e == "]") {
      builder.Close();
    } else if (e.starts_with("k:")) {
      next = builder.Member(e.substr(2));
    } else if (e.starts_with("s:")) {
      target().SetString(e.substr(2));
    } else {
      target().SetSigned(std::stoll(e.substr(2)));
    }
  }
  builder.Finish();
}

std::vector<std::string> Split(const std::string& text) {
  std::vector<std::string> events;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(' ', start);
    if (end == std::string::npos) end = text.size();
    events.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return events;
}

// Every key of every structure is found by lookup, and the walk order is key order.
void ExpectLookupsWork(const BindingProperty& value) {
  if (value.GetType() == BindingPropertyType::Collection) {
    for (size_t i = 0; i < value.Size(); ++i) ExpectLookupsWork(value.At(i));
  } else if (value.GetType() == BindingPropertyType::Structure) {
    std::string previous;
    bool first = true;
    value.ForEachMember([&](std::string_view key, const BindingProperty& member) {
      EXPECT_TRUE(first || std::string(key) > previous) << key;
      first = false;
      previous = std::string(key);
      EXPECT_EQ(value.TryFind(key), &member) << key;
      ExpectLookupsWork(member);
    });
  }
}

// Records of one list whose keys come in the orders that exercise each way a shape is used:
// the same keys again, some missing, some new, a different order, repeats, an empty key.
TEST(BindingTreeBuilderTest, EqualsFieldAndAppendOnShapedLists) {
  const char* const cases[] = {
      "[ { k:b i:1 k:a i:2 } { k:b i:3 k:a i:4 } { k:b i:5 k:a i:6 } ]",
      "[ { k:a i:1 k:b i:2 k:c i:3 } { k:a i:1 k:c i:3 } { k:b i:2 } { k:c i:1 k:a i:2 } ]",
      "[ { k:z i:1 k:y i:2 } { k:z i:1 k:x i:9 k:y i:2 } { k:w i:0 k:z i:1 k:y i:2 } ]",
      "[ { k:a i:1 k:a i:2 } { k:a i:1 k:b i:2 k:a i:3 } { k:b i:1 k:a i:2 k:b i:3 } ]",
      "[ { k:b i:1 k:a { k:y i:1 k:x i:2 } } { k:b i:1 k:a { k:x i:1 k:y i:2 k:x i:3 } } ]",
      "[ { k:a { k:x i:1 } k:a { k:y i:2 } } { k:a { k:x i:1 } k:a { k:x i:3 } } ]",
      "[ { k:a [ i:1 ] k:a [ i:2 ] } { k:a i:1 k:a [ i:2 ] } { k:a [ i:1 ] k:a s:x } ]",
      "[ { k: i:1 k:b i:2 } { k:b i:2 k: i:1 } { k: { } } ]",
      "[ { } { k:a i:1 } { } { k:a { } } { k:a { k:b i:1 } } ]",
      "{ k:list [ { k:id i:1 k:tags [ { k:t s:x k:n i:1 } ] } { k:id i:2 k:tags [ { k:t s:y } ] } "
      "] }",
      "[ [ { k:b i:1 k:a i:1 } ] [ { k:b i:1 k:a i:1 } { k:a i:1 k:b i:1 } ] ]",
      "[ { k:ab i:1 k:a i:2 k:abc i:3 } { k:abc i:1 k:ab i:2 k:a i:3 } ]",
  };
  for (const char* c : cases) {
    SCOPED_TRACE(c);
    const std::vector<std::string> events = Split(c);
    BindingProperty expected;
    BuildWithField(expected, events);
    BindingProperty built;
    BuildWithBuilder(built, events);
    EXPECT_EQ(ValueText(built), ValueText(expected));
    EXPECT_TRUE(built == expected);
    ExpectLookupsWork(built);
  }
}

// Random documents over a small key alphabet, so that shapes recur, break and repeat keys in
// every combination, including structures wider than the builder gathers.
TEST(BindingTreeBuilderTest, EqualsFieldAndAppendOnRandomDocuments) {
  std::mt19937 random(20261210);
  const auto pick = [&random](int n) { return static_cast<int>(random() % n); };
  for (int round = 0; round < 300; ++round) {
    std::vector<std::string> events;
    const int width = round % 10 == 0 ? 200 : 8;
    const auto emit = [&](auto& self, int depth) -> void {
      const int choice = depth > 3 ? 3 : pick(5);
      if (choice == 0) {
        events.push_back("{");
        const int count = pick(depth == 0 ? width : 8);
        for (int i = 0; i < count; ++i) {
          events.push_back("k:" + std::string(1, static_cast<char>('a' + pick(6))) +
                           (depth == 0 && width > 8 ? std::to_string(pick(300)) : ""));
          self(self, depth + 1);
        }
        events.push_back("}");
      } else if (choice == 1) {
        events.push_back("[");
        const int count = pick(6);
        for (int i = 0; i < count; ++i) self(self, depth + 1);
        events.push_back("]");
      } else if (choice == 2) {
        events.push_back("s:" + std::to_string(pick(4)));
      } else {
        events.push_back("i:" + std::to_string(pick(100)));
      }
    };
    events.push_back("[");
    for (int i = 0; i < 5; ++i) emit(emit, 0);
    events.push_back("]");

    BindingProperty expected;
    BuildWithField(expected, events);
    BindingProperty built;
    BuildWithBuilder(built, events);
    ASSERT_EQ(ValueText(built), ValueText(expected)) << "round " << round;
    ExpectLookupsWork(built);
  }
}

// A reader that stops on an error finishes the builder: whatever was open is chained in, so
// the tree is whole, and the shapes give back their counts on the keys.
TEST(BindingTreeBuilderTest, FinishLeavesAWholeTreeWithExactCounts) {
  const std::vector<std::string> events =
      Split("[ { k:b i:1 k:a i:2 } { k:b i:1 k:c { k:z s:v k:y s:v } k:a i:2 } { k:b i:1 k:a");
  for (size_t stop = 0; stop <= events.size(); ++stop) {
    SCOPED_TRACE(stop);
    const std::vector<std::string> prefix(events.begin(), events.begin() + stop);
    BindingProperty expected;
    BuildWithField(expected, prefix);
    BindingProperty built;
    BuildWithBuilder(built, events, stop);
    EXPECT_EQ(ValueText(built), ValueText(expected));
    ExpectLookupsWork(built);
    if (built.GetArena() != nullptr && expected.GetArena() != nullptr) {
      for (const char* text : {"a", "b", "c", "v", "y", "z"}) {
        EXPECT_EQ(built.GetArena()->RefCount(text), expected.GetArena()->RefCount(text)) << text;
      }
    }
    built.Reset();
    if (built.GetArena() != nullptr) {
      EXPECT_EQ(built.GetArena()->StringCount(), 0u);
    }
  }
}

// The JSON reader builds through it: a list of records read from text equals the same list
// written member by member, and a parse error leaves nothing behind but the message.
TEST(BindingTreeBuilderTest, JsonReaderUsesIt) {
  const BindingResult list =
      ParseJson(R"([{"id":1,"name":"x","tags":["a"]},{"name":"y","id":2},{"id":3,"extra":{}}])");
  ASSERT_TRUE(list.IsOk()) << list.ErrorMessage();
  EXPECT_EQ(ValueText(list.value),
            "[{id:u1,name:\"x\",tags:[\"a\"]},{id:u2,name:\"y\"},{extra:{},id:u3}]");
  ExpectLookupsWork(list.value);

  const BindingResult broken = ParseJson(R"([{"b":1,"a":2},{"b":1,"a":)");
  EXPECT_FALSE(broken.IsOk());
  EXPECT_EQ(broken.value.GetArena()->StringCount(), 2u);  // "error" and its message
}

}  // namespace
}  // namespace Varn

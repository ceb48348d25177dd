#include "binding/binding_property.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <new>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "binding/binding_arena.h"
#include "binding/binding_page_pool.h"

namespace Varn {
namespace {

using Type = BindingPropertyType;

// Records a walk as one token per visitor call.
class RecordingVisitor : public BindingVisitor {
 public:
  std::vector<std::string> events;
  void OnNull() override { events.push_back("null"); }
  void OnBool(bool v) override { events.push_back(v ? "true" : "false"); }
  void OnSigned(int64_t v) override { events.push_back("i" + std::to_string(v)); }
  void OnUnsigned(uint64_t v) override { events.push_back("u" + std::to_string(v)); }
  void OnFloat(double v) override { events.push_back("f" + std::to_string(v)); }
  void OnString(std::string_view t) override { events.push_back("s:" + std::string(t)); }
  void OnBlob(std::span<const uint8_t> b) override {
    events.push_back("blob" + std::to_string(b.size()));
  }
  void OnEnum(BindingEnumValue v) override { events.push_back("e" + std::to_string(v.value)); }
  void OnBeginCollection(size_t n) override { events.push_back("[" + std::to_string(n)); }
  void OnBeginElement(size_t i) override { events.push_back("<" + std::to_string(i)); }
  void OnEndElement(size_t i) override { events.push_back(std::to_string(i) + ">"); }
  void OnEndCollection() override { events.push_back("]"); }
  void OnBeginStructure(size_t n) override { events.push_back("{" + std::to_string(n)); }
  void OnKey(std::string_view k) override { events.push_back("k:" + std::string(k)); }
  void OnEndMember(std::string_view k) override { events.push_back("/" + std::string(k)); }
  void OnEndStructure() override { events.push_back("}"); }
};

std::vector<std::string> Walk(const BindingProperty& v) {
  RecordingVisitor visitor;
  v.Accept(visitor);
  return visitor.events;
}

std::vector<std::string> Keys(const BindingProperty& v) {
  std::vector<std::string> keys;
  v.ForEachMember([&](std::string_view key, const BindingProperty&) { keys.emplace_back(key); });
  return keys;
}

BindingProperty Make(void (*fill)(BindingProperty&)) {
  BindingProperty v;
  fill(v);
  return v;
}

// Stored hashes and type hash codes depend on these exact values; the lengths cover every
// remainder of the four-byte rounds, and the bytes above 0x7f and the zero byte the widening.
TEST(BindingPropertyTest, Fnv1aGivesTheStandardValues) {
  static_assert(Fnv1a("foobar") == 0xbf9cf968u);
  struct Case {
    std::string text;
    uint32_t hash;
  };
  const Case cases[] = {
      {"", 0x811c9dc5u},
      {"a", 0xe40c292cu},
      {"abc", 0x1a47e90bu},
      {"abcd", 0xce3479bdu},
      {"abcde", 0x749bcf08u},
      {"foobar", 0xbf9cf968u},
      {"205705993", 0x28a36053u},
      {std::string("\xc3\xa9t\xe9\xff\x80\0z", 8), 0x2c4782efu},
      {"seatCategories", 0xbcade1b4u},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Fnv1a(c.text), c.hash);
  }
}

TEST(BindingPropertyTest, DefaultValueIsEmpty) {
  BindingProperty v;
  EXPECT_EQ(v.GetType(), Type::Empty);
  EXPECT_TRUE(v.IsEmpty());
  EXPECT_EQ(v.Size(), 0u);
  EXPECT_TRUE(v.IsNullOrDefault());
  EXPECT_STREQ(BindingProperty::TypeName(v.GetType()), "empty");
  EXPECT_EQ(v.GetArena(), nullptr);
  EXPECT_STREQ(BindingProperty::TypeName(static_cast<Type>(10)), "");
  EXPECT_STREQ(BindingProperty::TypeName(Type::Structure), "structure");
}

TEST(BindingPropertyTest, SizeAndDefaultnessByKind) {
  struct Case {
    const char* name;
    void (*fill)(BindingProperty&);
    Type type;
    size_t size;
    bool nullOrDefault;
  };
  const Case cases[] = {
      {"false", [](BindingProperty& v) { v.SetBool(false); }, Type::Bool, 1, true},
      {"true", [](BindingProperty& v) { v.SetBool(true); }, Type::Bool, 1, false},
      {"signed 0", [](BindingProperty& v) { v.SetSigned(0); }, Type::Signed, 1, true},
      {"signed -1", [](BindingProperty& v) { v.SetSigned(-1); }, Type::Signed, 1, false},
      {"unsigned 0", [](BindingProperty& v) { v.SetUnsigned(0); }, Type::Unsigned, 1, true},
      {"float -0", [](BindingProperty& v) { v.SetFloat(-0.0); }, Type::Float, 1, true},
      {"float nan", [](BindingProperty& v) { v.SetFloat(NAN); }, Type::Float, 1, false},
      {"float 0.5", [](BindingProperty& v) { v.SetFloat(0.5); }, Type::Float, 1, false},
      {"empty string", [](BindingProperty& v) { v.SetString(""); }, Type::String, 0, true},
      {"string", [](BindingProperty& v) { v.SetString("h\xc3\xa9"); }, Type::String, 3, false},
      {"empty blob", [](BindingProperty& v) { v.SetBlob(std::vector<uint8_t>{}); }, Type::Blob, 0,
       true},
      {"blob",
       [](BindingProperty& v) {
         v.SetBlob(std::vector<uint8_t>{0, 0});
       },
       Type::Blob, 2, false},
      {"enum 0",
       [](BindingProperty& v) {
         v.SetEnum({0, 77});
       },
       Type::Enum, 1, true},
      {"enum 3",
       [](BindingProperty& v) {
         v.SetEnum({3, 77});
       },
       Type::Enum, 1, false},
      {"empty collection", [](BindingProperty& v) { v.MakeCollection(); }, Type::Collection, 0,
       true},
      {"collection", [](BindingProperty& v) { v.At(2); }, Type::Collection, 3, false},
      {"empty structure", [](BindingProperty& v) { v.MakeStructure(); }, Type::Structure, 0, true},
      {"structure", [](BindingProperty& v) { v.Field("a"); }, Type::Structure, 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BindingProperty v = Make(c.fill);
    EXPECT_EQ(v.GetType(), c.type);
    EXPECT_EQ(v.Size(), c.size);
    EXPECT_EQ(v.IsNullOrDefault(), c.nullOrDefault);
  }
}

TEST(BindingPropertyTest, GettersReturnTheDefaultForOtherKinds) {
  BindingProperty s;
  s.SetString("text");
  BindingProperty i;
  i.SetSigned(-5);
  BindingProperty u;
  u.SetUnsigned(5);
  const std::vector<uint8_t> fallback{9};
  for (const BindingProperty* v : {&s, &i, &u}) {
    SCOPED_TRACE(BindingProperty::TypeName(v->GetType()));
    EXPECT_TRUE(v->GetBool(true));
    EXPECT_EQ(v->GetFloat(2.5), 2.5);
    EXPECT_EQ(v->GetBlob(fallback).size(), 1u);
    EXPECT_EQ(v->GetEnum({4, 1}), (BindingEnumValue{4, 1}));
  }
  EXPECT_EQ(i.GetUnsigned(42), 42u);
  EXPECT_EQ(u.GetSigned(42), 42);
  EXPECT_EQ(s.GetSigned(42), 42);
  EXPECT_EQ(i.GetString("dflt"), "dflt");
  EXPECT_EQ(s.GetString("dflt"), "text");
}

TEST(BindingPropertyTest, GetIntegerConvertsNumbers) {
  struct Case {
    const char* name;
    void (*fill)(BindingProperty&);
    int64_t expected;
  };
  const Case cases[] = {
      {"signed", [](BindingProperty& v) { v.SetSigned(-7); }, -7},
      {"unsigned pattern", [](BindingProperty& v) { v.SetUnsigned(~uint64_t{0}); }, -1},
      {"float truncates up", [](BindingProperty& v) { v.SetFloat(-2.9); }, -2},
      {"float truncates down", [](BindingProperty& v) { v.SetFloat(2.9); }, 2},
      {"float too big saturates", [](BindingProperty& v) { v.SetFloat(1e300); },
       std::numeric_limits<int64_t>::max()},
      {"float too small saturates", [](BindingProperty& v) { v.SetFloat(-1e300); },
       std::numeric_limits<int64_t>::min()},
      {"nan gives the default", [](BindingProperty& v) { v.SetFloat(NAN); }, 99},
      {"string gives the default", [](BindingProperty& v) { v.SetString("12"); }, 99},
      {"bool gives the default", [](BindingProperty& v) { v.SetBool(true); }, 99},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Make(c.fill).GetInteger(99), c.expected);
  }
}

TEST(BindingPropertyTest, AtGrowsOnlyTheMutableForm) {
  BindingProperty v;
  const BindingProperty& view = v;
  EXPECT_TRUE(view.At(5).IsEmpty());
  EXPECT_TRUE(v.IsEmpty());  // const access changed nothing
  v.At(5).SetSigned(1);
  EXPECT_EQ(v.GetType(), Type::Collection);
  EXPECT_EQ(v.Size(), 6u);
  for (size_t i = 0; i < 5; ++i) EXPECT_TRUE(view.At(i).IsEmpty());
  EXPECT_EQ(view.At(5).GetSigned(), 1);
  EXPECT_TRUE(view.At(6).IsEmpty());
  v.Append().SetString("x");
  EXPECT_EQ(view.At(6).GetString(), "x");
}

// Small element storage lives in the arena's pools and larger storage on the heap; growing
// across that line, copying and resetting must keep every element and return every block.
TEST(BindingPropertyTest, CollectionsKeepTheirElementsWhateverTheirSize) {
  struct Case {
    const char* name;
    size_t reserve;  // 0: grown by Append alone
    size_t count;
  };
  const Case cases[] = {
      {"one", 0, 1},
      {"three", 0, 3},
      {"four", 0, 4},
      {"nine", 0, 9},
      {"reserved three", 3, 3},
      {"reserved one, grown", 1, 5},
      {"reserved four", 4, 4},
      {"reserved two, grown", 2, 40},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BindingProperty tree;
    BindingProperty& list = tree.Field("list");
    list.MakeCollection();
    list.Reserve(c.reserve);
    for (size_t i = 0; i < c.count; ++i) {
      BindingProperty& element = list.Append();
      if (i % 2 == 0) {
        element.SetString("s" + std::to_string(i));
      } else {
        element.Field("n").SetSigned(static_cast<int64_t>(i));
      }
    }
    ASSERT_EQ(list.Size(), c.count);
    for (size_t i = 0; i < c.count; ++i) {
      if (i % 2 == 0) {
        EXPECT_EQ(list.At(i).GetString(), "s" + std::to_string(i));
      } else {
        EXPECT_EQ(list.At(i).Find("n").GetSigned(), static_cast<int64_t>(i));
      }
    }
    BindingProperty copy(tree);
    EXPECT_TRUE(copy == tree);
    copy.Field("list").Append().SetBool(true);  // the copy grows on its own
    EXPECT_EQ(tree.Find("list").Size(), c.count);

    for (BindingProperty* v : {&tree, &copy}) {
      v->Reset();
      EXPECT_EQ(v->GetArena()->StringCount(), 0u);
      EXPECT_EQ(v->GetArena()->PagesHeld(), 0u);
      for (size_t size = 4; size <= 72; size += 4) {
        EXPECT_EQ(v->GetArena()->UsedBlocks(size), 0u) << size;
      }
    }
  }
}

TEST(BindingPropertyTest, MembersWalkInByteOrderOfKeys) {
  struct Case {
    std::vector<std::string> inserted;
    std::vector<std::string> walked;
  };
  const Case cases[] = {
      {{"b", "a", "B"}, {"B", "a", "b"}},
      {{"ab", "a", "", "abc"}, {"", "a", "ab", "abc"}},
      // Bytes above 0x7f sort after ASCII, as unsigned bytes.
      {{"\xc3\xa9", "z", "\x01"}, {"\x01", "z", "\xc3\xa9"}},
      {{std::string("a\0b", 3), "a"}, {"a", std::string("a\0b", 3)}},
      // Long keys that differ only past their first eight bytes, and in any byte of a word.
      {{"abcdefgh\xffz", "abcdefgh\x01z", "abcdefghi", "abcdefgh",
        "\x80"
        "bcdefgh",
        "abcdefgg"},
       {"abcdefgg", "abcdefgh", "abcdefgh\x01z", "abcdefghi", "abcdefgh\xffz",
        "\x80"
        "bcdefgh"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.inserted.front());
    BindingProperty v;
    for (const std::string& key : c.inserted) v.Field(key).SetString(key);
    EXPECT_EQ(Keys(v), c.walked);
    for (const std::string& key : c.inserted) EXPECT_EQ(v.Find(key).GetString(), key);
  }
}

TEST(BindingPropertyTest, FieldReturnsTheSameMemberForTheSameName) {
  BindingProperty v;
  BindingProperty& first = v.Field("x");
  first.SetSigned(3);
  BindingProperty& second = v.Field(std::string("x"));
  EXPECT_EQ(&first, &second);
  EXPECT_EQ(v.Size(), 1u);
  EXPECT_EQ(v.Find("x").GetSigned(), 3);
  EXPECT_TRUE(v.Find("y").IsEmpty());
  EXPECT_EQ(v.TryFind("y"), nullptr);
  EXPECT_EQ(v.TryFind("x"), &first);
}

TEST(BindingPropertyTest, FindOnOtherKindsFindsNothing) {
  BindingProperty v;
  v.At(0).SetString("x");  // "x" is interned but this is no structure
  EXPECT_EQ(v.TryFind("x"), nullptr);
  EXPECT_TRUE(v.Find("x").IsEmpty());
  BindingProperty other;
  other.Field("other-key");
  EXPECT_EQ(other.TryFind("x"), nullptr);  // never interned in this tree
}

// Members arriving in ascending order are only chained until a lookup or an out-of-order key
// needs the tree; every mix of the two must keep one member per key, in order, findable.
// A step "+k" calls Field("k") and counts the call in the member; "?k" looks "k" up.
TEST(BindingPropertyTest, AscendingAndMixedInsertionsKeepOneMemberPerKey) {
  struct Case {
    const char* name;
    std::vector<std::string> steps;
    bool copyFirst;  // run the steps after "+m" on a copy of a structure holding only "m"
  };
  const Case cases[] = {
      {"ascending", {"+a", "+b", "+c", "?a", "?c", "?b"}, false},
      {"repeat of the last key", {"+a", "+b", "+b", "+c", "+c"}, false},
      {"repeat of an earlier key", {"+a", "+b", "+c", "+a", "+b", "+d"}, false},
      {"smaller key after ascending ones", {"+b", "+d", "+a", "+c", "+e", "+a"}, false},
      {"ascending after a lookup", {"+a", "+c", "?c", "+d", "+e", "+b", "+e"}, false},
      {"lookup of a missing key first", {"?x", "+a", "?x", "+b", "+x", "+c"}, false},
      {"empty key", {"+", "+a", "+", "?a"}, false},
      {"copy: at the end", {"+n", "+o", "+m", "+p"}, true},
      {"copy: before and after", {"+a", "+z", "+m", "+b"}, true},
      {"copy: lookup then append", {"?m", "+n", "+n", "+a"}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BindingProperty source;
    std::map<std::string, int64_t> expected;
    if (c.copyFirst) {
      source.Field("m").SetSigned(1);
      expected["m"] = 1;
    }
    BindingProperty v(source);
    if (!c.copyFirst) v.MakeStructure();
    for (const std::string& step : c.steps) {
      const std::string key = step.substr(1);
      if (step[0] == '+') {
        BindingProperty& member = v.Field(key);
        member.SetSigned(member.GetSigned() + 1);
        ++expected[key];
      } else {
        EXPECT_EQ(v.Find(key).GetSigned(), expected.count(key) ? expected[key] : 0) << key;
      }
    }
    std::vector<std::string> keys;
    for (const auto& [key, count] : expected) {
      keys.push_back(key);
      EXPECT_EQ(v.Find(key).GetSigned(), count) << key;
    }
    EXPECT_EQ(Keys(v), keys);
    EXPECT_EQ(v.Size(), expected.size());
  }
}

// Destroying a whole tree frees its blocks and strings at once and only walks it for what lies
// outside the arena; nothing may be leaked (the sanitizer build checks the heap) and every page
// must be back with the page pool.
TEST(BindingPropertyTest, DestroyingATreeHandsBackEverything) {
  BindingPagePool& pool = BindingPagePool::Instance();
  const size_t pages_before = pool.PagesInUse();
  const std::string long_text(100, 'x');  // held on the heap, not inside the string
  const std::vector<uint8_t> bytes(300, 7);
  const auto fill = [&](BindingProperty& v) {
    for (int i = 0; i < 400; ++i) {
      BindingProperty& item = v.Field("item" + std::to_string(i));
      item.Field("name").SetString(long_text + std::to_string(i));
      item.Field("blob").SetBlob(bytes);
      item.Field("kind").SetEnum({i, 5});
      BindingProperty& list = item.Field("list");
      for (int j = 0; j < 40; ++j) list.Append().SetSigned(j);  // storage beyond the pools
      list.Append().SetBlob(bytes);
      list.Append().Field("deep").At(2).SetString(long_text);
    }
  };
  {
    BindingProperty tree;
    fill(tree);
    EXPECT_GT(pool.PagesInUse(), pages_before);
    BindingProperty copy(tree);
    BindingProperty part(tree.Find("item7"));
  }
  EXPECT_EQ(pool.PagesInUse(), pages_before);
  {
    // A collection at the root, and a tree emptied before it goes.
    BindingProperty tree;
    fill(tree.Append());
    tree.Append().SetBlob(bytes);
    BindingProperty emptied;
    fill(emptied);
    emptied.Reset();
  }
  EXPECT_EQ(pool.PagesInUse(), pages_before);
}

TEST(BindingPropertyTest, LargeStructuresBuiltInAnyOrderStayFindable) {
  BindingProperty v;
  constexpr int kCount = 20000;
  for (int i = 0; i < kCount; ++i) {
    const int k = (i * 7919) % kCount;  // a permutation of 0..kCount-1
    v.Field("key" + std::to_string(k)).SetSigned(k);
  }
  ASSERT_EQ(v.Size(), static_cast<size_t>(kCount));
  for (int k = 0; k < kCount; k += 97) {
    EXPECT_EQ(v.Find("key" + std::to_string(k)).GetSigned(-1), k);
  }
  std::vector<std::string> keys = Keys(v);
  EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));

  // A copy rebuilds the member tree from the ordered members; it must stay searchable and
  // accept further members anywhere.
  BindingProperty copy(v);
  for (int k = 0; k < kCount; k += 89) {
    EXPECT_EQ(copy.Find("key" + std::to_string(k)).GetSigned(-1), k);
  }
  for (int k = kCount; k < kCount + 500; ++k) copy.Field("key" + std::to_string(k)).SetSigned(k);
  for (int k = 0; k < kCount + 500; k += 83) {
    EXPECT_EQ(copy.Find("key" + std::to_string(k)).GetSigned(-1), k);
  }
  EXPECT_EQ(copy.Size(), static_cast<size_t>(kCount + 500));
  keys = Keys(copy);
  EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
}

TEST(BindingPropertyTest, MakeKindKeepsOnlyTheSameKind) {
  BindingProperty s;
  s.Field("a").SetSigned(1);
  s.MakeStructure();
  EXPECT_EQ(s.Find("a").GetSigned(), 1);
  s.MakeCollection();
  EXPECT_EQ(s.GetType(), Type::Collection);
  EXPECT_EQ(s.Size(), 0u);
  s.At(1);
  s.MakeCollection();
  EXPECT_EQ(s.Size(), 2u);
  s.MakeStructure();
  EXPECT_EQ(s.Size(), 0u);
}

TEST(BindingPropertyTest, Equality) {
  auto blob = [](std::vector<uint8_t> bytes) {
    BindingProperty v;
    v.SetBlob(std::move(bytes));
    return v;
  };
  auto text = [](std::string_view t) {
    BindingProperty v;
    v.SetString(t);
    return v;
  };
  auto number = [](double d) {
    BindingProperty v;
    v.SetFloat(d);
    return v;
  };
  auto enumerator = [](int32_t value, uint32_t hash) {
    BindingProperty v;
    v.SetEnum({value, hash});
    return v;
  };
  auto structure = [](std::vector<std::pair<std::string, int>> members) {
    BindingProperty v;
    v.MakeStructure();
    for (auto& [k, i] : members) v.Field(k).At(0).SetSigned(i);
    return v;
  };
  BindingProperty signed_one;
  signed_one.SetSigned(1);
  BindingProperty unsigned_one;
  unsigned_one.SetUnsigned(1);
  struct Case {
    const char* name;
    BindingProperty a;
    BindingProperty b;
    bool equal;
  };
  const Case cases[] = {
      {"empties", BindingProperty(), BindingProperty(), true},
      {"equal blobs of two trees", blob({1, 2, 3}), blob({1, 2, 3}), true},
      {"blob vs string of the same bytes", blob({'a', 'b'}), text("ab"), false},
      {"blobs of other bytes", blob({1, 2}), blob({1, 3}), false},
      {"strings", text("same"), text("same"), true},
      {"other strings", text("same"), text("Same"), false},
      {"empty string vs empty value", text(""), BindingProperty(), false},
      {"nan", number(NAN), number(NAN), false},
      {"zero and minus zero", number(0.0), number(-0.0), true},
      {"signed vs unsigned", signed_one, unsigned_one, false},
      {"enums", enumerator(1, 5), enumerator(1, 5), true},
      {"enums of other types", enumerator(1, 5), enumerator(1, 6), false},
      {"structures", structure({{"a", 1}, {"b", 2}}), structure({{"b", 2}, {"a", 1}}), true},
      {"structure member differs", structure({{"a", 1}}), structure({{"a", 2}}), false},
      {"structure key differs", structure({{"a", 1}}), structure({{"c", 1}}), false},
      {"structure sizes differ", structure({{"a", 1}}), structure({{"a", 1}, {"b", 1}}), false},
      {"empty structure vs empty collection", structure({}),
       Make([](BindingProperty& v) { v.MakeCollection(); }), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.a == c.b, c.equal);
    EXPECT_EQ(c.b == c.a, c.equal);
  }
  BindingProperty nan = number(NAN);
  EXPECT_FALSE(nan == nan);
}

TEST(BindingPropertyTest, InternedStringsAreCountedPerTree) {
  BindingProperty tree;
  for (int i = 0; i < 1000; ++i) tree.At(i).SetString("shared text");
  const BindingArena* arena = tree.GetArena();
  ASSERT_NE(arena, nullptr);
  EXPECT_EQ(arena->StringCount(), 1u);
  EXPECT_EQ(arena->RefCount("shared text"), 1000u);

  // Keys and string values share one record.
  tree.At(0).Field("shared text").SetString("other");
  EXPECT_EQ(arena->RefCount("shared text"), 1000u);  // one value gone, one key added
  EXPECT_EQ(arena->RefCount("other"), 1u);

  tree.At(1).SetSigned(5);  // a setter releases the old string
  EXPECT_EQ(arena->RefCount("shared text"), 999u);
  for (int i = 0; i < 1000; ++i) tree.At(i).Reset();
  EXPECT_EQ(arena->StringCount(), 0u);
  EXPECT_EQ(arena->RefCount("shared text"), 0u);

  // The empty text is never interned.
  tree.At(0).SetString("");
  tree.At(1).Field("");
  EXPECT_EQ(arena->StringCount(), 0u);
}

// The decoders' setters: only a text new to the tree is checked, and a refused one changes
// nothing. Enough texts to pass the arena's cache threshold, and members enough to be kept as a
// search tree, so that each way to find a text is taken.
TEST(BindingPropertyTest, CheckedSettersCheckNewTextsOnlyAndRefuseWithoutChange) {
  static std::vector<std::string> checked;
  const BindingProperty::TextCheck accept = [](std::string_view text) {
    checked.emplace_back(text);
    return text.find('!') == std::string_view::npos;
  };
  BindingProperty tree;
  for (int i = 0; i < 300; ++i) {
    const std::string text = "text " + std::to_string(i % 150);
    ASSERT_TRUE(tree.At(i).SetString(text, accept));
    // Descending keys: the members leave the sorted chain for a tree.
    BindingProperty* member = tree.At(300).Field("key " + std::to_string(999 - i % 150), accept);
    ASSERT_NE(member, nullptr);
  }
  EXPECT_EQ(checked.size(), 300u);  // 150 values and 150 keys, each once
  const BindingProperty before = tree;
  const size_t strings = tree.GetArena()->StringCount();
  checked.clear();
  EXPECT_FALSE(tree.At(0).SetString("bad!", accept));
  EXPECT_EQ(tree.At(300).Field("bad!", accept), nullptr);
  BindingProperty lone;
  EXPECT_EQ(lone.Field("bad!", accept), nullptr);  // an Empty value stays Empty
  EXPECT_TRUE(lone.IsEmpty());
  EXPECT_EQ(tree.At(0).GetString(), "text 0");
  EXPECT_EQ(tree, before);
  EXPECT_EQ(tree.GetArena()->StringCount(), strings);
  EXPECT_EQ(checked.size(), 3u);
}

// Texts come and go in any order while the set grows past its cache threshold: every value
// keeps its text, and counts and the number of records follow a plain model. Texts share
// heads, tails and lengths, so they also meet in the cache and in the set's buckets.
TEST(BindingPropertyTest, InternedStringsStayExactUnderChurn) {
  std::vector<std::string> texts;
  for (int i = 0; i < 1500; ++i) {
    const std::string n = std::to_string(i);
    texts.push_back(i % 3 == 0   ? "k" + n
                    : i % 3 == 1 ? "https://example.org/" + n + "/end"
                                 : std::string(60, 'a') + n + "z");
  }
  std::mt19937 random(7);
  BindingProperty tree;
  std::vector<int> held(3000, -1);  // which text each element holds, -1 for none
  std::map<int, uint32_t> model;
  for (int round = 0; round < 40; ++round) {
    for (int step = 0; step < 2000; ++step) {
      const size_t slot = random() % held.size();
      if (held[slot] >= 0 && --model[held[slot]] == 0) model.erase(held[slot]);
      if (random() % 3 == 0) {
        tree.At(slot).Reset();
        held[slot] = -1;
      } else {
        const int text = static_cast<int>(random() % (round < 20 ? texts.size() : 200));
        tree.At(slot).SetString(texts[text]);
        held[slot] = text;
        ++model[text];
      }
    }
    SCOPED_TRACE(round);
    const BindingArena* arena = tree.GetArena();
    ASSERT_EQ(arena->StringCount(), model.size());
    for (const auto& [text, count] : model) ASSERT_EQ(arena->RefCount(texts[text]), count);
    for (size_t i = 0; i < held.size(); ++i) {
      if (held[i] >= 0) {
        ASSERT_EQ(tree.At(i).GetString(), texts[held[i]]);
      }
    }
  }
}

TEST(BindingPropertyTest, SettersMayTakeTheirArgumentFromTheValueItself) {
  BindingProperty v;
  v.SetString("abcdefghijklmnopqrstuvwxyz");
  v.SetString(v.GetString().substr(1));
  EXPECT_EQ(v.GetString(), "bcdefghijklmnopqrstuvwxyz");
  EXPECT_EQ(v.GetArena()->StringCount(), 1u);
  v.SetBlob(std::vector<uint8_t>{1, 2, 3});
  v.SetBlob(v.GetBlob().subspan(1));
  EXPECT_EQ(v.GetBlob().size(), 2u);
  EXPECT_EQ(v.GetBlob()[0], 2);
}

TEST(BindingPropertyTest, CopiesAreDeepAndInternAnew) {
  BindingProperty a;
  a.Field("name").SetString("value");
  a.Field("list").At(1).SetBlob(std::vector<uint8_t>{7});
  a.Field("e").SetEnum({2, 9});
  BindingProperty b(a);
  EXPECT_TRUE(a == b);
  EXPECT_NE(a.GetArena(), b.GetArena());
  EXPECT_EQ(b.GetArena()->RefCount("value"), 1u);
  b.Field("name").SetString("changed");
  EXPECT_EQ(a.Find("name").GetString(), "value");
  EXPECT_FALSE(a == b);

  // Copying into a member lands in the target's arena.
  BindingProperty c;
  c.Field("copy") = a;
  EXPECT_TRUE(c.Find("copy") == a);
  EXPECT_EQ(c.GetArena()->RefCount("value"), 1u);
  a.Reset();
  EXPECT_EQ(c.Find("copy").Find("name").GetString(), "value");
}

TEST(BindingPropertyTest, MoveExchangesArenasOnlyBetweenFreeStandingValues) {
  BindingProperty source;
  source.Field("k").SetString("v");
  const BindingArena* source_arena = source.GetArena();
  BindingProperty target;
  target.SetString("old");
  const BindingArena* target_arena = target.GetArena();
  target = std::move(source);
  EXPECT_EQ(target.GetArena(), source_arena);  // taken over, not copied
  EXPECT_EQ(target.Find("k").GetString(), "v");
  EXPECT_TRUE(source.IsEmpty());
  EXPECT_EQ(source.GetArena(), target_arena);
  EXPECT_EQ(target_arena->StringCount(), 0u);  // the old payload was released

  BindingProperty constructed(std::move(target));
  EXPECT_EQ(constructed.GetArena(), source_arena);
  EXPECT_TRUE(target.IsEmpty());

  // A member never owns its arena: moving it out copies, and the member ends Empty.
  BindingProperty moved_out(std::move(constructed.Field("k")));
  EXPECT_NE(moved_out.GetArena(), source_arena);
  EXPECT_EQ(moved_out.GetString(), "v");
  EXPECT_TRUE(constructed.Find("k").IsEmpty());
  EXPECT_EQ(constructed.Size(), 1u);

  // Moving into a member copies into the member's tree.
  BindingProperty holder;
  holder.Field("slot") = std::move(moved_out);
  EXPECT_EQ(holder.Find("slot").GetString(), "v");
  EXPECT_EQ(holder.GetArena()->RefCount("v"), 1u);
  EXPECT_TRUE(moved_out.IsEmpty());
}

TEST(BindingPropertyTest, AssigningAPartOfATreeToTheTree) {
  auto tree = [] {
    BindingProperty v;
    v.Field("data").Field("inner").SetString("x");
    v.Field("data").Field("list").At(2).SetSigned(4);
    v.Field("other").SetBool(true);
    return v;
  };
  {
    SCOPED_TRACE("copy a member over its root");
    BindingProperty v = tree();
    BindingProperty expected = tree().Find("data");
    v = v.Field("data");
    EXPECT_TRUE(v == expected);
  }
  {
    SCOPED_TRACE("move a member over its root");
    BindingProperty v = tree();
    BindingProperty expected = tree().Find("data");
    v = std::move(v.Field("data"));
    EXPECT_TRUE(v == expected);
  }
  {
    SCOPED_TRACE("copy the root into its own member");
    BindingProperty v = tree();
    BindingProperty expected = tree();
    v.Field("data") = v;
    EXPECT_TRUE(v.Find("data") == expected);
    EXPECT_TRUE(v.Find("other").GetBool());
  }
  {
    SCOPED_TRACE("self assignment");
    BindingProperty v = tree();
    BindingProperty& alias = v;
    v = alias;
    EXPECT_TRUE(v == tree());
    v = std::move(alias);
    EXPECT_TRUE(v == tree());
  }
}

TEST(BindingPropertyTest, AcceptWalksInKeyAndIndexOrder) {
  BindingProperty v;
  v.Field("z").At(1).SetBool(true);
  v.Field("a").SetEnum({3, 1});
  v.Field("m").SetBlob(std::vector<uint8_t>{1, 2});
  v.Field("n").SetUnsigned(9);
  v.Field("s").MakeStructure();
  const std::vector<std::string> expected = {
      "{5", "k:a", "e3", "/a", "k:m",  "blob2", "/m", "k:n",  "u9", "/n", "k:s", "{0", "}",
      "/s", "k:z", "[2", "<0", "null", "0>",    "<1", "true", "1>", "]",  "/z",  "}"};
  EXPECT_EQ(Walk(v), expected);
  EXPECT_EQ(Walk(BindingProperty()), std::vector<std::string>{"null"});
}

TEST(BindingPropertyTest, ErrorResults) {
  BindingResult ok;
  EXPECT_TRUE(ok.IsOk());
  EXPECT_EQ(ok.ErrorMessage(), "");

  BindingResult failed = BindingResult::Error("went wrong");
  EXPECT_FALSE(failed.IsOk());
  EXPECT_EQ(failed.ErrorMessage(), "went wrong");
  EXPECT_EQ(Walk(failed.value),
            (std::vector<std::string>{"{1", "k:error", "s:went wrong", "/error", "}"}));

  BindingResult replaced;
  replaced.value.At(3).SetSigned(1);
  replaced.SetError("second");
  EXPECT_EQ(replaced.value.Size(), 1u);
  EXPECT_EQ(replaced.ErrorMessage(), "second");

  BindingResult moved(std::move(failed));
  EXPECT_FALSE(moved.IsOk());
  EXPECT_EQ(moved.ErrorMessage(), "went wrong");
  BindingResult copied(moved);
  EXPECT_EQ(copied.ErrorMessage(), "went wrong");

  BindingResult odd;
  odd.ok = false;  // failed, but without a string "error"
  odd.value.Field("error").SetSigned(1);
  EXPECT_EQ(odd.ErrorMessage(), "");
}

TEST(BindingPropertyTest, ReserveRefusesOversizedCollections) {
  BindingProperty v;
  v.MakeCollection();
  EXPECT_NO_THROW(v.Reserve(100));
  EXPECT_EQ(v.Size(), 0u);
  EXPECT_THROW(v.Reserve(0x10000000), std::length_error);
  EXPECT_THROW(v.At(0x10000000), std::length_error);
  EXPECT_EQ(v.Size(), 0u);
}

// Trees nested far deeper than any machine stack could recurse through.
TEST(BindingPropertyTest, DeepTreesAreDestroyedCopiedComparedAndWalked) {
  constexpr size_t kDepth = 1000000;
  struct Counter : BindingVisitor {
    size_t opened = 0, closed = 0, leaves = 0;
    void OnNull() override { ++leaves; }
    void OnBool(bool) override {}
    void OnSigned(int64_t) override { ++leaves; }
    void OnUnsigned(uint64_t) override {}
    void OnFloat(double) override {}
    void OnString(std::string_view) override {}
    void OnBlob(std::span<const uint8_t>) override {}
    void OnEnum(BindingEnumValue) override {}
    void OnBeginCollection(size_t) override { ++opened; }
    void OnBeginElement(size_t) override {}
    void OnEndElement(size_t) override {}
    void OnEndCollection() override { ++closed; }
    void OnBeginStructure(size_t) override { ++opened; }
    void OnKey(std::string_view) override {}
    void OnEndMember(std::string_view) override {}
    void OnEndStructure() override { ++closed; }
  };
  BindingProperty root;
  BindingProperty* node = &root;
  for (size_t i = 0; i < kDepth; ++i) node = (i % 2 == 0) ? &node->At(0) : &node->Field("k");
  node->SetSigned(1);

  BindingProperty copy(root);
  EXPECT_TRUE(copy == root);
  node->SetSigned(2);
  EXPECT_FALSE(copy == root);

  Counter counter;
  copy.Accept(counter);
  EXPECT_EQ(counter.opened, kDepth);
  EXPECT_EQ(counter.closed, kDepth);
  EXPECT_EQ(counter.leaves, 1u);

  copy.Reset();
  EXPECT_EQ(copy.GetArena()->StringCount(), 0u);
  EXPECT_EQ(copy.GetArena()->PagesHeld(), 0u);
}

// Blocks a region source that refuses, installed on the process-wide page pool for one test.
class RefusedRegionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = BindingPagePool::Instance().SetRegionSource(
        {[](size_t) -> void* { return nullptr; }, BindingPagePool::SystemRegions().release});
  }
  void TearDown() override { BindingPagePool::Instance().SetRegionSource(previous_); }
  BindingPagePool::RegionSource previous_{};
};

TEST_F(RefusedRegionTest, ARefusedRegionIsAnAllocationFailureAndKeepsTheOldValue) {
  struct Case {
    const char* name;
    void (*set)(BindingProperty&);
    Type type;
  };
  const Case cases[] = {
      {"blob", [](BindingProperty& v) { v.SetBlob(std::vector<uint8_t>{1}); }, Type::Blob},
      {"enum",
       [](BindingProperty& v) {
         v.SetEnum({1, 1});
       },
       Type::Enum},
      {"collection", [](BindingProperty& v) { v.MakeCollection(); }, Type::Collection},
      {"structure", [](BindingProperty& v) { v.MakeStructure(); }, Type::Structure},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BindingProperty tree;
    tree.Reserve(0);
    bool refused = false;
    // Free pages may remain from earlier trees; the refusal comes once they run out.
    for (size_t i = 0; i < 1000000 && !refused; ++i) {
      BindingProperty& slot = tree.At(i);
      slot.SetSigned(7);
      try {
        c.set(slot);
        ASSERT_EQ(slot.GetType(), c.type);
      } catch (const std::bad_alloc&) {
        refused = true;
        EXPECT_EQ(slot.GetType(), Type::Signed);
        EXPECT_EQ(slot.GetSigned(), 7);
      }
    }
    EXPECT_TRUE(refused);
  }
}

}  // namespace
}  // namespace Varn

#include "plugin/route_table.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "binding/binding_record_builder.h"
#include "binding/message_format.h"
#include "plugin/route_declaration.h"

namespace Varn {
namespace {

struct Outcome {
  uint32_t status = 0;
  bool failed = false;
  std::string error;
  BindingProperty value;
  std::string replyText;
  std::vector<std::pair<std::string, std::string>> headers;
};

struct Named {
  const char* name;
  PluginCell value;
};

PluginCell SignedCell(int64_t v) {
  PluginCell cell{};
  cell.kind = PLUGIN_CELL_SIGNED;
  cell.payload.i64 = v;
  return cell;
}

PluginCell TextCell(const char* text) {
  PluginCell cell{};
  cell.kind = PLUGIN_CELL_STRING_REF;
  cell.payload.string.text = text;
  cell.payload.string.length = std::char_traits<char>::length(text);
  return cell;
}

Outcome Send(const RouteTable& table, uint32_t method, const std::string& path,
             const std::string& content_type = {}, const std::string& body = {},
             const std::vector<Named>& named = {}, const char* function_name = nullptr) {
  std::vector<PluginNamedArgument> arguments;
  for (const Named& n : named) arguments.push_back({n.name, n.value});
  PluginRequest request{};
  request.method = method;
  request.path = path.c_str();
  request.arguments = arguments.data();
  request.argumentCount = arguments.size();
  request.contentType = content_type.c_str();
  request.body = reinterpret_cast<const uint8_t*>(body.data());
  request.bodyLength = body.size();
  request.functionName = function_name;
  PluginResponse response;
  std::memset(&response, 0xA5, sizeof(response));  // Dispatch must reset every field
  table.Dispatch(&response, &request, nullptr);
  Outcome outcome;
  outcome.status = response.status;
  outcome.failed = response.result.failed != 0;
  if (response.result.errorText != nullptr) outcome.error = response.result.errorText;
  if (response.replyText != nullptr) outcome.replyText = response.replyText;
  for (size_t i = 0; i < response.headerCount; ++i) {
    outcome.headers.emplace_back(response.headers[i].name, response.headers[i].value);
  }
  PluginBoundaryResult converted{};
  EXPECT_TRUE(BindingProperty::FromBoundary(converted, outcome.value, response.result.value, "r"));
  PluginResponseReleaseFunction release = response.release;
  EXPECT_NE(release, nullptr);
  if (release != nullptr) release(&response);
  return outcome;
}

std::string Join(const std::vector<std::string>& items) {
  std::string out;
  for (const std::string& item : items) out += (out.empty() ? "" : ",") + item;
  return out;
}

// Routes shaped like a plugin's, each answering with a text that names it and its arguments.
class RouteTableTest : public testing::Test {
 protected:
  void SetUp() override {
    DeclareRoute(table_, PLUGIN_METHOD_GET, "/zek-settings/v1/account/{category}",
                 [](std::string category) { return "account:" + category; })
        .Path("category", "Category name");
    DeclareRoute(table_, PLUGIN_METHOD_GET, "/zek-settings/v2/{thing}", [](std::string thing) {
      return "thing:" + thing;
    }).Path("thing", "");
    DeclareRoute(table_, PLUGIN_METHOD_GET, "/zek-settings/v2/ready", [] { return "ready"; });
    DeclareRoute(table_, PLUGIN_METHOD_GET, "/files/{+rest}", [](std::string rest) {
      return "files:" + rest;
    }).Path("rest", "");
    DeclareRoute(table_, PLUGIN_METHOD_PATCH, "/zek-settings/v2/account/{ppType}/{category}",
                 [](std::string type, std::string category, BindingProperty resource) {
                   return FormatMessage("patch:%1/%2:%3", type, category,
                                        BindingProperty::TypeName(resource.GetType()));
                 })
        .Path("ppType", "")
        .Path("category", "")
        .Body("settingsResource", "");
    DeclareRoute(table_, PLUGIN_METHOD_GET, "/q",
                 [](int32_t count, bool flag, std::string name, std::vector<std::string> items) {
                   return FormatMessage("%1|%2|%3|%4", count, flag, name, Join(items));
                 })
        .Query("count", "")
        .Query("flag", "")
        .Query("name", "")
        .Query("items", "");
    DeclareRoute(
        table_, PLUGIN_METHOD_POST, "/named",
        [](int64_t value, std::string label) { return FormatMessage("named:%1:%2", value, label); })
        .Named("value", "")
        .Any("label", "");
    DeclareRoute(
        table_, PLUGIN_METHOD_CALL, "/call", [] { return "called"; }, "DoThing");
    DeclareRoute(table_, PLUGIN_METHOD_NONE, "/any", [] { return "any"; });
    // Resolution: the fewest captured characters win, the earlier on a tie.
    DeclareRoute(table_, PLUGIN_METHOD_GET, "/t/{a}/{b}",
                 [](std::string a, std::string b) { return "two:" + a + "," + b; })
        .Path("a", "")
        .Path("b", "");
    DeclareRoute(table_, PLUGIN_METHOD_GET, "/t/{a}/x", [](std::string a) {
      return "one:" + a;
    }).Path("a", "");
    DeclareRoute(table_, PLUGIN_METHOD_GET, "/s/{+a}", [](std::string a) {
      return "rest:" + a;
    }).Path("a", "");
    DeclareRoute(table_, PLUGIN_METHOD_GET, "/s/{a}", [](std::string a) {
      return "seg:" + a;
    }).Path("a", "");
    DeclareRoute(table_, PLUGIN_METHOD_GET, "/fail", [](RouteContext& context) {
      context.Fail(503, "not now");
      return "ignored";
    });
    DeclareRoute(table_, PLUGIN_METHOD_GET, "/throw",
                 []() -> std::string { throw std::runtime_error("boom"); });
    DeclareRoute(table_, PLUGIN_METHOD_GET, "/reply", [](RouteContext& context) {
      context.SetReplyText("see other");
      context.SetStatus(201);
      context.SetEncoding(PLUGIN_ENCODING_JSON);
      context.AddHeader("X-Test", "1");
      return context.Request().functionName == "GetReply";
    });
  }

  RouteTable table_;
};

TEST_F(RouteTableTest, ResolvesBindsAndAnswers) {
  const std::string account_fn = "GetZekSettingsV1AccountByCategory";
  const std::string patch_fn = "PatchZekSettingsV2AccountByPpTypeByCategory";
  struct Case {
    uint32_t method;
    std::string path;
    std::string content_type;
    std::string body;
    uint32_t status;
    std::string expected;  // the answer's text, or the exact error message
  };
  const std::vector<Case> cases = {
      {2, "/zek-settings/v1/account/audio", "", "", 200, "account:audio"},
      {2, "/zek-settings/v1/account/", "", "", 200, "account:"},
      {2, "/zek-settings/v1/account/a/b", "", "", 404, "Invalid function"},
      {6, "/zek-settings/v1/account/audio", "", "", 404, "Invalid function"},
      {2, "/zek-settings/v1/account/%41b", "", "", 200, "account:%41b"},
      {2, "/files/a/b/c", "", "", 200, "files:a/b/c"},
      {2, "/files/", "", "", 200, "files:"},
      {2, "/zek-settings/v2/ready", "", "", 200, "ready"},
      {2, "/zek-settings/v2/other", "", "", 200, "thing:other"},
      {2, "/zek-settings/v2/ready?x=1", "", "", 400,
       "Unknown argument 'x' for 'GetZekSettingsV2Ready'."},
      {2, "/zek-settings/v1/account/audio?unknown=1", "", "", 400,
       "Unknown argument 'unknown' for '" + account_fn + "'."},
      {2, "/zek-settings/v1/account/audio?category=x", "", "", 400,
       "Argument 'category' for '" + account_fn + "' was specified in an invalid location."},
      {2, "/q?count=5&flag&name=a+b%21&items[0]=x&items[1]=y", "", "", 200, "5|true|a b!|x,y"},
      {2, "/q", "", "", 200, "0|false||"},
      {2, "/q?count=0x10&count=010", "", "", 200, "8|false||"},
      {2, "/q?count=-7&flag=false&items=", "", "", 200, "-7|false||"},
      {2, "/q?name=", "", "", 200, "0|false||"},
      {2, "/q?count=", "", "", 400, "Expected value for argument 'count'."},
      {2, "/q?count=12abc", "", "", 400,
       "Value 12abc for 'count' of type int32 is in an incorrect format"},
      {2, "/q?count=3000000000", "", "", 400,
       "Value 3000000000 for 'count' of type int32 is out of range"},
      {2, "/q?flag=TRUE", "", "", 400,
       "Value TRUE for 'flag' of type bool is in an incorrect format. Options are \"true\", "
       "\"false\", \"1\", \"0\"."},
      {2, "/q?items[1]=x", "", "", 400, "Index 1 is out of range"},
      {2, "/q?items[-1]=x", "", "", 400, "Index -1 is in an incorrect format"},
      {2, "/q?items[]=x", "", "", 400, "Index  is in an incorrect format"},
      {2, "/q?count[0]=1", "", "", 400, "Unknown argument 'count[0]' for 'GetQ'."},
      {5, "/zek-settings/v2/account/Perks/audio", "text/plain", "x", 400,
       "Unsupported body content type"},
      {5, "/zek-settings/v2/account/Perks/audio", "", "", 400,
       "A value for 'settingsResource' is required."},
      {5, "/zek-settings/v2/account/Perks/audio?settingsResource=1", "", "", 400,
       "Argument 'settingsResource' for '" + patch_fn + "' was specified in an invalid location."},
      {0, "/any", "", "", 200, "any"},
      {1, "/any", "", "", 200, "any"},
      {77, "/any", "", "", 200, "any"},
      {8, "/call", "", "", 404, "Invalid function"},
      {2, "/t/1/x", "", "", 200, "one:1"},
      {2, "/t/1/y", "", "", 200, "two:1,y"},
      {2, "/t/12/", "", "", 200, "two:12,"},
      {2, "/s/abc", "", "", 200, "rest:abc"},
      {2, "/s/a/b", "", "", 200, "rest:a/b"},
      {2, "/fail", "", "", 503, "not now"},
      {2, "/throw", "", "", 500, "boom"},
      {2, "", "", "", 404, "Invalid function"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.method) + " " + c.path);
    Outcome outcome = Send(table_, c.method, c.path, c.content_type, c.body);
    EXPECT_EQ(outcome.status, c.status);
    if (c.status == 200) {
      EXPECT_FALSE(outcome.failed) << outcome.error;
      EXPECT_EQ(outcome.value.GetString(), c.expected);
    } else {
      EXPECT_TRUE(outcome.failed);
      EXPECT_EQ(outcome.error, c.expected);
      EXPECT_TRUE(outcome.value.IsEmpty());
    }
  }
}

TEST_F(RouteTableTest, BindsNamedArgumentsAndCallsByName) {
  struct Case {
    std::vector<Named> named;
    uint32_t status;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {{{"value", SignedCell(5)}, {"label", TextCell("x")}}, 200, "named:5:x"},
      {{{"value", TextCell("12")}}, 200, "named:12:"},
      {{{"bogus", SignedCell(1)}}, 400, "Unknown argument 'bogus' for 'PostNamed'."},
      {{{"value", TextCell("z")}},
       400,
       "Value z for 'value' of type int64 is in an incorrect format"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    Outcome outcome = Send(table_, PLUGIN_METHOD_POST, "/named", "", "", c.named);
    EXPECT_EQ(outcome.status, c.status);
    EXPECT_EQ(c.status == 200 ? std::string(outcome.value.GetString()) : outcome.error, c.expected);
  }
  // Named arguments come first: a query value of the same name does not replace them.
  EXPECT_EQ(Send(table_, PLUGIN_METHOD_POST, "/named?label=q", "", "", {{"label", TextCell("n")}})
                .value.GetString(),
            "named:0:n");
  // A named-only parameter given in the query is in the wrong place.
  EXPECT_EQ(Send(table_, PLUGIN_METHOD_POST, "/named?value=1").error,
            "Argument 'value' for 'PostNamed' was specified in an invalid location.");

  EXPECT_EQ(Send(table_, PLUGIN_METHOD_CALL, "/call", "", "", {}, "DoThing").value.GetString(),
            "called");
  EXPECT_EQ(Send(table_, PLUGIN_METHOD_CALL, "/call", "", "", {}, "Other").status, 404u);
  EXPECT_EQ(Send(table_, PLUGIN_METHOD_GET, "/call", "", "", {}, "DoThing").status, 404u);
}

TEST_F(RouteTableTest, CopiesTheCallContextIntoTheResponse) {
  Outcome outcome = Send(table_, PLUGIN_METHOD_GET, "/reply");
  EXPECT_EQ(outcome.status, 201u);
  EXPECT_EQ(outcome.replyText, "see other");
  EXPECT_TRUE(outcome.value.GetBool());
  ASSERT_EQ(outcome.headers.size(), 1u);
  EXPECT_EQ(outcome.headers[0].first, "X-Test");
  EXPECT_EQ(outcome.headers[0].second, "1");
  EXPECT_EQ(Send(table_, PLUGIN_METHOD_GET, "/files/x").replyText, "");
}

TEST(RouteTableResolveTest, LiteralWinsWhereverItIsDeclared) {
  RouteTable table;
  DeclareRoute(table, PLUGIN_METHOD_GET, "/a/{x}", [](std::string) { return 1; }).Path("x", "");
  DeclareRoute(table, PLUGIN_METHOD_GET, "/a/b", [] { return 2; });
  DeclareRoute(table, PLUGIN_METHOD_GET, "/a/b", [] { return 3; });
  std::vector<std::string_view> captures;
  const RouteFunction* function = table.Resolve(PLUGIN_METHOD_GET, "/a/b", "", captures);
  ASSERT_NE(function, nullptr);
  EXPECT_EQ(function->index, 1u);
  EXPECT_TRUE(captures.empty());
  function = table.Resolve(PLUGIN_METHOD_GET, "/a/c", "", captures);
  ASSERT_NE(function, nullptr);
  EXPECT_EQ(function->index, 0u);
  ASSERT_EQ(captures.size(), 1u);
  EXPECT_EQ(captures[0], "c");
}

// The index must not hide templates whose literal part is shorter or longer than the path's
// leading segments.
TEST(RouteTableResolveTest, IndexKeepsEveryCandidate) {
  RouteTable table;
  const char* templates[] = {"{all}",          "/{+rest}", "/a{x}",          "/a/b/c/d/{x}",
                             "/a/b/c/d/e/{x}", "/a//{x}",  "/a/b/c/{x}/{y}", "/other/{x}"};
  // Added unchecked: these templates capture what no parameter takes.
  for (const char* t : templates) table.Add(PLUGIN_METHOD_GET, t, "", {}, nullptr);
  struct Case {
    const char* path;
    size_t expected;  // index of the template, or SIZE_MAX for none
  };
  const Case cases[] = {
      {"abc", 0},   {"/a/b", 1},       {"/ab", 2},     {"/a/b/c/d/x", 3}, {"/a/b/c/d/e/x", 4},
      {"/a//x", 5}, {"/a/b/c/x/y", 6}, {"/other/", 7}, {"", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    std::vector<std::string_view> captures;
    const RouteFunction* function = table.Resolve(PLUGIN_METHOD_GET, c.path, "", captures);
    ASSERT_NE(function, nullptr);
    EXPECT_EQ(function->index, c.expected);
  }
}

}  // namespace
}  // namespace Varn

namespace Varn {
namespace {

struct Category {
  int32_t schemaVersion = 0;
  BindingProperty data;
};

// Bodies by content type, and path or query texts read by their first bytes, bound to records
// and values through a registry.
class RouteBodyTest : public testing::Test {
 protected:
  void SetUp() override {
    DeclareStructure<Category>(registry_, "SettingCategory")
        .Field(ZEK_MEMBER(Category, schemaVersion), "", kBindingFieldRequired)
        .Field(ZEK_MEMBER(Category, data), "");
    DeclareRoute(table_, PLUGIN_METHOD_PATCH, "/cat/{name}",
                 [](std::string name, Category category) {
                   return FormatMessage("%1:%2:%3", name, category.schemaVersion,
                                        category.data.Find("k").GetString());
                 })
        .Path("name", "")
        .Body("settingsResource", "");
    DeclareRoute(table_, PLUGIN_METHOD_GET, "/typed/{n}", [](int64_t n) {
      return n;
    }).Path("n", "");
    DeclareRoute(table_, PLUGIN_METHOD_GET, "/obj/{v}",
                 [](BindingProperty v, BindingProperty q) {
                   return std::string(BindingProperty::TypeName(v.GetType())) + "," +
                          BindingProperty::TypeName(q.GetType());
                 })
        .Path("v", "")
        .Query("q", "");
    // Blobs as base64 text and maps as structures, by the rules record fields follow.
    DeclareRoute(table_, PLUGIN_METHOD_GET, "/blob/{bytes}",
                 [](std::vector<uint8_t> bytes, std::map<std::string, int32_t> counts) {
                   std::string text(bytes.begin(), bytes.end());
                   for (const auto& [key, count] : counts)
                     text += FormatMessage(",%1=%2", key, count);
                   return text;
                 })
        .Path("bytes", "")
        .Query("counts", "");
    DeclareRoute(table_, PLUGIN_METHOD_GET, "/record", [] {
      Category category;
      category.schemaVersion = 7;
      category.data.Field("k").SetString("v");
      return category;
    });
  }

  Outcome Send(uint32_t method, const std::string& path, const std::string& type = {},
               const std::string& body = {}) {
    PluginRequest request{};
    request.method = method;
    request.path = path.c_str();
    request.contentType = type.c_str();
    request.body = reinterpret_cast<const uint8_t*>(body.data());
    request.bodyLength = body.size();
    PluginResponse response{};
    table_.Dispatch(&response, &request, &registry_);
    Outcome outcome;
    outcome.status = response.status;
    outcome.failed = response.result.failed != 0;
    if (response.result.errorText != nullptr) outcome.error = response.result.errorText;
    PluginBoundaryResult converted{};
    EXPECT_TRUE(
        BindingProperty::FromBoundary(converted, outcome.value, response.result.value, "r"));
    response.release(&response);
    return outcome;
  }

  BindingRegistry registry_;
  RouteTable table_{&registry_};
};

TEST_F(RouteBodyTest, DecodesByContentTypeAndFirstBytes) {
  const std::string json = R"({"schemaVersion":3,"data":{"k":"v"}})";
  const std::string msgpack =
      "\x82\xad"
      "schemaVersion\x03\xa4"
      "data\x81\xa1k\xa1v";
  const std::string fn = "PatchCatByName";
  const std::string deserialize_json =
      "Couldn't deserialize JSON value for parameter 'settingsResource' of '" + fn + "': ";
  const std::string deserialize_msgpack = "Couldn't deserialize MessagePack value for parameter ";
  struct Case {
    uint32_t method;
    std::string path;
    std::string type;
    std::string body;
    uint32_t status;
    std::string expected;  // answer text, error message, or its start when `prefix`
    bool prefix = false;
  };
  const std::vector<Case> cases = {
      {5, "/cat/audio", "application/json", json, 200, "audio:3:v"},
      {5, "/cat/audio", "application/json; charset=utf-8", json, 200, "audio:3:v"},
      {5, "/cat/audio", "APPLICATION/VND.API+JSON", json, 200, "audio:3:v"},
      {5, "/cat/audio", "application/x-yaml", "schemaVersion: 3\ndata:\n  k: v\n", 200,
       "audio:3:v"},
      {5, "/cat/audio", "application/x-msgpack", msgpack, 200, "audio:3:v"},
      {5, "/cat/audio", "application/x-msgpack", msgpack + "\xc0", 400,
       "Extra MessgePack data found in body"},
      {5, "/cat/audio", "application/x-msgpack", msgpack.substr(0, msgpack.size() - 2), 400,
       deserialize_msgpack + "'settingsResource' of '" + fn + "': The value ends early", true},
      {5, "/cat/audio", "text/x-yaml", "schemaVersion: 3", 400, "Unsupported body content type"},
      {5, "/cat/audio", "application/json", R"({"schemaVersion":)", 400, deserialize_json, true},
      {5, "/cat/audio", "application/json", "[1]", 400,
       "Couldn't assign value to 'settingsResource' of type SettingCategory because the input "
       "not a structure."},
      {5, "/cat/audio", "application/json", R"({"data":{}})", 400,
       "Couldn't assign value to 'settingsResource' of type SettingCategory because the input "
       "structure doesn't have required field 'schemaVersion'."},
      {2, "/typed/42", "", "", 200, ""},
      {2, "/typed/[1]", "", "", 400,
       "Couldn't assign value to 'n' of type int64 because the input is of an invalid type "
       "collection."},
      {2, "/typed/{\"a\"", "", "", 400,
       "Couldn't deserialize JSON value for parameter 'n' of 'GetTypedByN': ", true},
      {2, "/obj/x", "", "", 200, "string,empty"},
      {2, "/obj/{\"a\":1}", "", "", 200, "structure,empty"},
      {2, "/obj/ \t[1]", "", "", 200, "collection,empty"},
      {2, "/obj/--- [1, 2]", "", "", 200, "collection,empty"},
      {2, "/obj/-- [1]", "", "", 200, "string,empty"},
      {2, "/obj/\x91\x01", "", "", 200, "collection,empty"},
      {2, "/obj/\x92\x01", "", "", 400, deserialize_msgpack + "'v' of 'GetObjByV'", true},
      {2, "/obj/x?q=%7B%22b%22%3A2%7D", "", "", 200, "string,structure"},
      {2, "/obj/x?q=%DE", "", "", 400, deserialize_msgpack + "'q' of 'GetObjByV'", true},
      {2, "/blob/aGk=", "", "", 200, "hi"},
      {2, "/blob/", "", "", 200, ""},
      {2, "/blob/aGk=?counts=%7B%22a%22%3A1%2C%22b%22%3A2%7D", "", "", 200, "hi,a=1,b=2"},
      {2, "/blob/a%20b", "", "", 400,
       "Couldn't assign string value to 'bytes' of type blob because the input has invalid "
       "base64 characters."},
      {2, "/blob/aGk=?counts=%5B1%5D", "", "", 400,
       "Couldn't assign value to 'counts' of type map because the input not a structure."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path + " " + c.type);
    Outcome outcome = Send(c.method, c.path, c.type, c.body);
    EXPECT_EQ(outcome.status, c.status);
    if (c.status != 200) {
      EXPECT_TRUE(outcome.failed);
      if (c.prefix) {
        EXPECT_EQ(outcome.error.substr(0, c.expected.size()), c.expected) << outcome.error;
      } else {
        EXPECT_EQ(outcome.error, c.expected);
      }
    } else if (!c.expected.empty() || c.path.starts_with("/blob")) {
      EXPECT_EQ(outcome.value.GetString(), c.expected) << outcome.error;
    }
  }
  EXPECT_EQ(Send(2, "/typed/42").value.GetSigned(), 42);
}

// A handler that could never be served is refused when its route is declared, not answered with
// the same error on every call.
TEST_F(RouteBodyTest, RefusesARouteWhoseHandlerCannotBeServed) {
  enum class Unregistered { kA };
  struct Loose {
    int32_t n = 0;
  };
  RouteTable table(&registry_);
  struct Case {
    std::string path;
    std::string message;
  };
  std::vector<Case> cases;
  auto expect = [&](const std::string& path, const std::string& message) {
    cases.push_back({path, message});
  };
  DeclareRoute(table, PLUGIN_METHOD_GET, "/short/{a}", [](std::string a, std::string b) {
    return a + b;
  }).Path("a", "");
  expect("/short/a", "Function 'GetShortByA' declares 1 parameters for a handler of 2 arguments.");
  DeclareRoute(table, PLUGIN_METHOD_GET, "/long/{a}", [](std::string a) { return a; })
      .Path("a", "")
      .Query("b", "");
  expect("/long/a", "Function 'GetLongByA' declares 2 parameters for a handler of 1 arguments.");
  DeclareRoute(table, PLUGIN_METHOD_POST, "/loose",
               [](std::string, Loose loose) { return loose.n; })
      .Query("name", "")
      .Body("loose", "");
  expect("/loose",
         "Function 'PostLoose' has a handler whose argument 2 is of a type that is not "
         "registered.");
  DeclareRoute(table, PLUGIN_METHOD_GET, "/state", [] { return Unregistered::kA; });
  expect("/state",
         "Function 'GetState' has a handler whose answer is of a type that is not registered.");
  DeclareRoute(table, PLUGIN_METHOD_GET, "/twice", [](int32_t, int32_t) { return 0; })
      .Query("n", "")
      .Query("n", "");
  expect("/twice", "Function 'GetTwice' declares parameter 'n' twice.");
  DeclareRoute(table, PLUGIN_METHOD_PUT, "/bodies", [](Category, Category) { return 0; })
      .Body("a", "")
      .Body("b", "");
  expect("/bodies", "Function 'PutBodies' declares more than one body parameter.");
  DeclareRoute(table, PLUGIN_METHOD_GET, "/where/{a}",
               [](std::string a, std::string b) { return a + b; })
      .Path("a", "")
      .Path("b", "");
  expect("/where/a",
         "Function 'GetWhereByA' declares path parameter 'b' that its template does not capture.");
  DeclareRoute(table, PLUGIN_METHOD_GET, "/capture/{a}", [](std::string a) {
    return a;
  }).Query("a", "");
  expect("/capture/a",
         "Function 'GetCaptureByA' captures 'a' in its template but declares no path parameter "
         "of that name.");
  // A sound route beside them is served.
  DeclareRoute(table, PLUGIN_METHOD_GET, "/fine/{a}", [](std::string a) {
    return a;
  }).Path("a", "");

  std::vector<std::string> expected;
  for (const Case& c : cases) expected.push_back(c.message);
  EXPECT_EQ(table.Refusals(), expected);
  ASSERT_EQ(table.Functions().size(), 1u);
  EXPECT_EQ(table.Functions()[0]->name, "GetFineByA");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    std::vector<std::string_view> captures;
    EXPECT_EQ(table.Resolve(PLUGIN_METHOD_GET, c.path, "", captures), nullptr);
  }
}

TEST_F(RouteBodyTest, AnswersRecordsAsStructures) {
  Outcome outcome = Send(PLUGIN_METHOD_GET, "/record");
  ASSERT_EQ(outcome.status, 200u) << outcome.error;
  EXPECT_EQ(outcome.value.Find("schemaVersion").GetSigned(), 7);
  EXPECT_EQ(outcome.value.Find("data").Find("k").GetString(), "v");
}

}  // namespace
}  // namespace Varn

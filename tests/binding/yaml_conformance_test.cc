// Runs every case of the public YAML test suite through ParseYaml. Invalid inputs must fail;
// valid single-document inputs that libyaml reads, with only the four tags the reader knows and
// no merge keys, must give the value of the case's JSON under the reader's typing rules. Where
// those rules part from the JSON, the case is listed below with the reason.
// clang-format off
#include "binding/rapidjson_simd.h"  // RapidJSON as the library builds it, in every file
// clang-format on
#include <gtest/gtest.h>
#include <rapidjson/document.h>
#include <yaml.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "binding/yaml_reader.h"
#include "tests/binding/temp_folder.h"
#include "tests/binding/yaml_test_values.h"

namespace Varn {
namespace {

using yaml_test::Show;
using yaml_test::TempFolder;

const char kSuite[] = "../shared/testdata/yaml-test-suite";

// Invalid inputs that libyaml 0.2.5 reads without complaint and the reader's own rules do not
// refuse either.
const std::map<std::string, std::string> kInvalidButAccepted = {
    {"9C9N", "libyaml 0.2.5 does not check the indentation of flow sequence lines"},
    {"9JBA", "libyaml 0.2.5 allows a comment right after the end of a flow sequence"},
    {"CVW2", "libyaml 0.2.5 allows a comment right after a comma"},
    {"DK95/01", "libyaml 0.2.5 takes a tab as indentation of a quoted scalar's next line"},
    {"G5U8", "libyaml 0.2.5 reads a lone '-' in a flow sequence as a plain scalar"},
    {"MUS6/00", "libyaml 0.2.5 allows a comment right after a %YAML directive"},
    {"MUS6/01", "libyaml 0.2.5 allows a repeated %YAML directive (both documents are empty)"},
    {"QB6E", "libyaml 0.2.5 does not check the indentation of quoted scalar lines"},
    {"S98Z", "libyaml 0.2.5 allows leading blank lines wider than a block scalar's indentation"},
    {"SU5Z", "libyaml 0.2.5 allows a comment right after a double-quoted scalar"},
    {"X4QW", "libyaml 0.2.5 allows a comment right after a block scalar indicator"},
    {"Y79Y/003", "libyaml 0.2.5 takes a tab as indentation inside a flow sequence"},
    {"YJV2", "libyaml 0.2.5 reads a lone '-' in a flow sequence as a plain scalar"},
};

// Valid inputs whose value differs from the case's JSON, by the reader's documented rules.
const std::map<std::string, std::string> kDifferences = {
    {"2G84/02", "an empty block scalar is typed like a plain one: empty, not an empty string"},
    {"2G84/03", "an empty block scalar is typed like a plain one: empty, not an empty string"},
    {"K858", "empty clipped and stripped block scalars are typed like plain ones: empty"},
    {"3GZX", "an anchor defined a second time is refused as a duplicate"},
    {"652Z", "libyaml 0.2.5 reads '?foo' in a flow mapping as the explicit key 'foo'"},
    {"HM87/01", "libyaml 0.2.5 reads '?x' in a flow sequence as a single-pair mapping"},
    {"JEF9/02", "libyaml 0.2.5 drops the kept line break of a block scalar with no content"},
    {"L24T/01", "libyaml 0.2.5 drops the last line break after a spaces-only literal line"},
    {"Y2GN", "libyaml 0.2.5 ends an anchor name at ':'"},
};

struct Case {
  std::string id;
  std::filesystem::path folder;
};

std::vector<Case> AllCases() {
  std::vector<Case> cases;
  for (const auto& entry : std::filesystem::directory_iterator(kSuite)) {
    if (!entry.is_directory()) continue;
    std::string id = entry.path().filename().string();
    if (std::filesystem::exists(entry.path() / "in.yaml")) {
      cases.push_back({id, entry.path()});
      continue;
    }
    for (const auto& sub : std::filesystem::directory_iterator(entry.path())) {
      if (sub.is_directory() && std::filesystem::exists(sub.path() / "in.yaml")) {
        cases.push_back({id + "/" + sub.path().filename().string(), sub.path()});
      }
    }
  }
  std::sort(cases.begin(), cases.end(), [](const Case& a, const Case& b) { return a.id < b.id; });
  return cases;
}

// What libyaml alone makes of a text: whether it parses, how many documents, whether any tag
// outside the four the reader knows or a merge key appears.
struct LibyamlView {
  bool parses = true;
  int documents = 0;
  bool foreign_tags = false;
  bool merge_keys = false;
};

LibyamlView ViewWithLibyaml(const std::string& text) {
  static const std::set<std::string> kKnownTags = {"tag:yaml.org,2002:str", "tag:yaml.org,2002:int",
                                                   "tag:yaml.org,2002:float",
                                                   "tag:yaml.org,2002:bool"};
  LibyamlView view;
  yaml_parser_t parser;
  yaml_parser_initialize(&parser);
  yaml_parser_set_input_string(&parser, reinterpret_cast<const unsigned char*>(text.data()),
                               text.size());
  yaml_event_t event;
  while (true) {
    if (!yaml_parser_parse(&parser, &event)) {
      view.parses = false;
      break;
    }
    const yaml_char_t* tag = nullptr;
    if (event.type == YAML_DOCUMENT_START_EVENT) ++view.documents;
    if (event.type == YAML_SCALAR_EVENT) {
      tag = event.data.scalar.tag;
      if (event.data.scalar.style == YAML_PLAIN_SCALAR_STYLE &&
          std::string_view(reinterpret_cast<const char*>(event.data.scalar.value)) == "<<") {
        view.merge_keys = true;
      }
    }
    if (event.type == YAML_SEQUENCE_START_EVENT) tag = event.data.sequence_start.tag;
    if (event.type == YAML_MAPPING_START_EVENT) tag = event.data.mapping_start.tag;
    if (tag && !kKnownTags.count(reinterpret_cast<const char*>(tag))) view.foreign_tags = true;
    bool done = event.type == YAML_STREAM_END_EVENT;
    yaml_event_delete(&event);
    if (done) break;
  }
  yaml_parser_delete(&parser);
  return view;
}

// The JSON value typed as the YAML reader types plain scalars: whole numbers are integers.
BindingProperty FromJson(const rapidjson::Value& json) {
  BindingProperty v;
  if (json.IsBool()) {
    v.SetBool(json.GetBool());
  } else if (json.IsUint64()) {
    v.SetUnsigned(json.GetUint64());
  } else if (json.IsInt64()) {
    v.SetSigned(json.GetInt64());
  } else if (json.IsNumber()) {
    double d = json.GetDouble();
    if (d != static_cast<double>(static_cast<int64_t>(d))) {
      v.SetFloat(d);
    } else if (d < 0) {
      v.SetSigned(static_cast<int64_t>(d));
    } else {
      v.SetUnsigned(static_cast<uint64_t>(d));
    }
  } else if (json.IsString()) {
    v.SetString(std::string_view(json.GetString(), json.GetStringLength()));
  } else if (json.IsArray()) {
    v.MakeCollection();
    for (const auto& item : json.GetArray()) v.Append() = FromJson(item);
  } else if (json.IsObject()) {
    v.MakeStructure();
    for (const auto& member : json.GetObject()) {
      v.Field(std::string_view(member.name.GetString(), member.name.GetStringLength())) =
          FromJson(member.value);
    }
  }
  return v;
}

// Reads the single JSON value of `text`; false when it holds more than one.
bool ExpectedFromJson(const std::string& text, BindingProperty& expected) {
  if (text.find_first_not_of(" \t\r\n") == std::string::npos) return true;
  rapidjson::Document document;
  // Zero bytes behind the text for the vector scans' whole blocks.
  const std::string padded = text + std::string(kRapidJsonScanPadding, '\0');
  rapidjson::StringStream stream(padded.c_str());
  document.ParseStream<rapidjson::kParseStopWhenDoneFlag>(stream);
  if (document.HasParseError()) return false;
  if (text.find_first_not_of(" \t\r\n", stream.Tell()) != std::string::npos) return false;
  expected = FromJson(document);
  return true;
}

TEST(YamlConformanceTest, PublicSuite) {
  std::vector<Case> cases = AllCases();
  ASSERT_FALSE(cases.empty()) << "test suite not found at " << kSuite;
  std::set<std::string> seen_invalid_accepted;
  std::set<std::string> seen_differences;
  int compared = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    std::string text = TempFolder::Read((c.folder / "in.yaml").string());
    BindingResult result = ParseYaml(text);

    if (std::filesystem::exists(c.folder / "error")) {
      if (result.IsOk()) {
        seen_invalid_accepted.insert(c.id);
        EXPECT_TRUE(kInvalidButAccepted.count(c.id)) << "invalid input accepted";
      }
      continue;
    }
    LibyamlView view = ViewWithLibyaml(text);
    if (!view.parses || view.documents > 1 || view.foreign_tags || view.merge_keys) continue;
    if (!std::filesystem::exists(c.folder / "in.json")) continue;
    BindingProperty expected;
    if (!ExpectedFromJson(TempFolder::Read((c.folder / "in.json").string()), expected)) continue;
    ++compared;
    bool same = result.IsOk() && result.value == expected;
    if (!same) {
      seen_differences.insert(c.id);
      EXPECT_TRUE(kDifferences.count(c.id))
          << "got " << (result.IsOk() ? Show(result.value) : result.ErrorMessage()) << "\nexpected "
          << Show(expected);
    }
  }
  // Every listed case must still show its difference, so the lists stay exact.
  for (const auto& [id, reason] : kInvalidButAccepted) {
    EXPECT_TRUE(seen_invalid_accepted.count(id)) << id << " is listed but now fails";
  }
  for (const auto& [id, reason] : kDifferences) {
    EXPECT_TRUE(seen_differences.count(id)) << id << " is listed but now matches";
  }
  EXPECT_GT(compared, 0);
}

}  // namespace
}  // namespace Varn

// zek-prefs run as a process, the way people use it: arguments, standard input, output streams
// and exit status.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "binding/json_reader.h"
#include "binding/yaml_reader.h"
#include "binding/yaml_writer.h"

extern char** environ;

namespace Varn {
namespace {

struct ProcessRun {
  int status = -1;
  std::string out;
  std::string err;
};

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream buffer;
  buffer << file.rdbuf();
  return buffer.str();
}

void WriteFile(const std::filesystem::path& path, std::string_view contents) {
  std::ofstream file(path, std::ios::binary);
  file.write(contents.data(), static_cast<std::streamsize>(contents.size()));
}

class ZekPrefsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "zek-prefs-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // A file in the test's folder; returns its path.
  std::string File(const std::string& name, std::string_view contents) {
    const std::filesystem::path path = dir_ / name;
    WriteFile(path, contents);
    return path.string();
  }

  ProcessRun Prefs(std::vector<std::string> args, std::string_view input = "") {
    const std::filesystem::path in = dir_ / "stdin", out = dir_ / "stdout", err = dir_ / "stderr";
    WriteFile(in, input);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    args.insert(args.begin(), ZEK_PREFS_PATH);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    ProcessRun run;
    pid_t pid;
    if (posix_spawn(&pid, ZEK_PREFS_PATH, &actions, nullptr, argv.data(), environ) == 0) {
      int status = 0;
      waitpid(pid, &status, 0);
      run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    run.out = ReadFile(out);
    run.err = ReadFile(err);
    return run;
  }

  std::filesystem::path dir_;
};

constexpr std::string_view kGood =
    "audio:\n    schemaVersion: 3\n    data:\n        volume: 0.5\n"
    "hud:\n    schemaVersion: 1\n    data:\n        scale: 2\n";

TEST_F(ZekPrefsTest, CheckReportsEachFile) {
  const std::string good = File("good.yaml", kGood);
  const std::string broken = File("broken.yaml", "a: [1, 2\nb: {\n");
  const std::string no_data = File(
      "nodata.yaml", "audio:\n    schemaVersion: 3\nhud:\n    schemaVersion: 1\n    data: 1\n");
  const std::string bad_version =
      File("version.yaml", "audio:\n    schemaVersion: \"3\"\n    data: {}\n");
  const std::string not_mapping = File("list.yaml", "- 1\n- 2\n");
  const std::string empty = File("empty.yaml", "");
  const std::string missing = (dir_ / "missing.yaml").string();
  // The exact message the plugin's loader gives for the broken file.
  const std::string broken_error = LoadYamlFile(broken).ErrorMessage();
  ASSERT_FALSE(broken_error.empty());

  struct Case {
    std::vector<std::string> files;
    std::string out;
    int status;
  };
  const Case cases[] = {
      {{good}, good + ": ok, 2 categories\n", 0},
      {{broken}, broken + ": " + broken_error + "\n", 1},
      {{no_data},
       no_data + ": ok, 2 categories\n" + no_data +
           ": warning: category \"audio\" has no \"data\" member; the plugin keeps it but never "
           "announces it\n",
       0},
      {{bad_version},
       bad_version + ": ok, 1 categories\n" + bad_version +
           ": warning: category \"audio\" has a \"schemaVersion\" that is not an integer; the "
           "plugin reads it as 0\n",
       0},
      {{not_mapping},
       not_mapping + ": ok, 0 categories\n" + not_mapping +
           ": warning: the file does not hold a mapping of categories; the plugin reads every "
           "category as empty and replaces the file on the first change\n",
       0},
      {{empty}, empty + ": ok, 0 categories\n", 0},
      {{missing}, missing + ": no such file; the plugin reads every category of it as empty\n", 1},
      {{broken, good}, broken + ": " + broken_error + "\n" + good + ": ok, 2 categories\n", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.files.front());
    std::vector<std::string> args = {"check"};
    args.insert(args.end(), c.files.begin(), c.files.end());
    const ProcessRun run = Prefs(args);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, c.status);
  }
}

TEST_F(ZekPrefsTest, ConvertWritesYamlAsThePluginSaves) {
  const std::string json = R"({"hud":{"schemaVersion":1,"data":{"scale":2.5,"name":"x"}}})";
  const std::string json_file = File("prefs.json", json);
  const BindingResult value = ParseJson(json);
  ASSERT_TRUE(value.IsOk());
  const std::string lf = WriteYaml(value.value, nullptr, "\n", false);
  const std::string crlf = WriteYaml(value.value, nullptr, "\r\n", false);
  ASSERT_NE(crlf.find("\r\n"), std::string::npos);

  ProcessRun run = Prefs({"convert", json_file});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, lf);
  run = Prefs({"convert", "--crlf", json_file});
  EXPECT_EQ(run.out, crlf);
  run = Prefs({"convert", "--to", "yaml"}, json);  // standard input defaults to JSON
  EXPECT_EQ(run.out, lf);
  // What the tool writes, the plugin's loader reads back to the same value.
  const std::string saved = File("saved.yaml", crlf);
  const BindingResult loaded = LoadYamlFile(saved);
  ASSERT_TRUE(loaded.IsOk()) << loaded.ErrorMessage();
  EXPECT_EQ(Prefs({"convert", "--to", "json", saved}).out,
            Prefs({"convert", "--to", "json", json_file}).out);
}

TEST_F(ZekPrefsTest, ConvertRendersJsonFromEachFormat) {
  const std::string kObject = "{\n  \"a\": {\n    \"b\": [\n      1,\n      \"x\"\n    ]\n  }\n}\n";
  // {"a": {"b": [1, "x"]}} as MessagePack.
  const std::string msgpack(
      "\x81\xa1"
      "a\x81\xa1"
      "b\x92\x01\xa1x",
      10);
  struct Case {
    std::string name;
    std::vector<std::string> args;
    std::string input;
    std::string out;
  };
  const Case cases[] = {
      {"yaml by extension", {"--to", "json", File("p.yaml", "a:\n    b: [1, x]\n")}, "", kObject},
      {"yml by extension", {"--to", "json", File("p.yml", "a: {b: [1, x]}\n")}, "", kObject},
      {"msgpack by extension", {"--to", "json", File("p.msgpack", msgpack)}, "", kObject},
      {"msgpack from stdin", {"--from", "msgpack", "--to", "json", "-"}, msgpack, kObject},
      {"json by default", {"--to", "json", File("p.txt", R"({"a":{"b":[1,"x"]}})")}, "", kObject},
      {"flag beats extension",
       {"--from", "json", "--to", "json", File("q.yaml", "[2.0]")},
       "",
       "[\n  2.0\n]\n"},
      {"blob as base64",
       {"--from", "msgpack", "--to", "json"},
       std::string("\xc4\x02\x01\x02", 4),
       "\"AQI=\"\n"},
      {"crlf", {"--to", "json", "--crlf"}, "[1]", "[\r\n  1\r\n]\r\n"},
      {"null", {"--to", "json"}, "", "null\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> args = {"convert"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const ProcessRun run = Prefs(args, c.input);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, c.out);
  }
}

TEST_F(ZekPrefsTest, ConvertReportsDecodeErrors) {
  const std::string missing = (dir_ / "missing.json").string();
  struct Case {
    std::string name;
    std::vector<std::string> args;
    std::string input;
    std::string err;
  };
  const Case cases[] = {
      {"json",
       {},
       "{\"a\" 1}",
       "Error: Missing a colon after a name of object member. at offset 5.\n"},
      {"msgpack",
       {"--from", "msgpack"},
       "\x81\x01\x02",
       "Invalid MessagePack data at position 2. Map keys must be strings.\n"},
      {"msgpack extra bytes",
       {"--from", "msgpack"},
       "\x01\x02",
       "Invalid MessagePack data. Extra data found at position 1.\n"},
      {"msgpack cut short",
       {"--from", "msgpack"},
       "\x93\x01",
       "Invalid MessagePack data. The input ends inside a container at position 2.\n"},
      {"missing file", {missing}, "", "Couldn't open file: " + missing + "\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> args = {"convert"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const ProcessRun run = Prefs(args, c.input);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, c.err);
  }
}

TEST_F(ZekPrefsTest, HelpAndUsageErrors) {
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out_starts;
    std::string err_starts;
  };
  const Case cases[] = {
      {{"--help"}, 0, "Usage: zek-prefs COMMAND", ""},
      {{"check", "--help"}, 0, "Usage: zek-prefs check FILE...", ""},
      {{"convert", "--help"}, 0, "Usage: zek-prefs convert [--from", ""},
      {{}, 2, "", "Usage: zek-prefs COMMAND"},
      {{"frobnicate"}, 2, "", "zek-prefs: unknown command \"frobnicate\""},
      {{"check"}, 2, "", "zek-prefs check: no file given"},
      {{"convert", "--to", "xml"}, 2, "", "zek-prefs convert: unknown format for --to: xml"},
      {{"convert", "--to", "msgpack"}, 2, "", "zek-prefs convert: unknown format for --to"},
      {{"convert", "--from"}, 2, "", "zek-prefs convert: --from needs a format"},
      {{"convert", "--pretty"}, 2, "", "zek-prefs convert: unknown option: --pretty"},
      {{"convert", "a.json", "b.json"}, 2, "", "zek-prefs convert: only one input file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.empty() ? "(none)" : c.args.front());
    const ProcessRun run = Prefs(c.args);
    EXPECT_EQ(run.status, c.status);
    EXPECT_TRUE(run.out.starts_with(c.out_starts)) << run.out;
    EXPECT_TRUE(run.err.starts_with(c.err_starts)) << run.err;
    if (c.out_starts.empty()) {
      EXPECT_EQ(run.out, "");
    }
  }
}

}  // namespace
}  // namespace Varn

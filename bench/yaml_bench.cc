// YAML reader and writer throughput against bare libyaml (the floor any libyaml-based codec pays)
// and yaml-cpp, on the usual JSON benchmark inputs converted once to block-style YAML.
#include <benchmark/benchmark.h>
#include <rapidjson/document.h>
#include <yaml-cpp/yaml.h>
#include <yaml.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "binding/yaml_reader.h"
#include "binding/yaml_writer.h"

namespace {

const char* const kInputs[] = {"canada", "citm_catalog", "twitter"};

int AppendOutput(void* data, unsigned char* buffer, size_t size) {
  static_cast<std::string*>(data)->append(reinterpret_cast<const char*>(buffer), size);
  return 1;
}

// One event as the writer would emit it, kept so the bare emitter can replay the same stream.
struct EventRecord {
  yaml_event_type_t type;
  std::string text;
  const char* tag;
  yaml_scalar_style_t style;
};

class EventList {
 public:
  void Scalar(std::string text, const char* tag, yaml_scalar_style_t style) {
    events.push_back({YAML_SCALAR_EVENT, std::move(text), tag, style});
  }
  void Push(yaml_event_type_t type, const char* tag = nullptr) {
    events.push_back({type, std::string(), tag, YAML_ANY_SCALAR_STYLE});
  }
  std::vector<EventRecord> events;
};

// Emits `events` (between stream and document start and end) into a string.
std::string EmitEvents(const std::vector<EventRecord>& events, int indent) {
  std::string out;
  out.reserve(4096);
  yaml_emitter_t emitter;
  yaml_emitter_initialize(&emitter);
  yaml_emitter_set_output(&emitter, AppendOutput, &out);
  yaml_emitter_set_indent(&emitter, indent);
  yaml_emitter_set_width(&emitter, -1);
  yaml_emitter_set_encoding(&emitter, YAML_UTF8_ENCODING);
  yaml_event_t event;
  yaml_stream_start_event_initialize(&event, YAML_UTF8_ENCODING);
  yaml_emitter_emit(&emitter, &event);
  yaml_document_start_event_initialize(&event, nullptr, nullptr, nullptr, 1);
  yaml_emitter_emit(&emitter, &event);
  for (const EventRecord& record : events) {
    auto* tag = reinterpret_cast<yaml_char_t*>(const_cast<char*>(record.tag));
    switch (record.type) {
      case YAML_SCALAR_EVENT:
        yaml_scalar_event_initialize(
            &event, nullptr, tag,
            reinterpret_cast<yaml_char_t*>(const_cast<char*>(record.text.data())),
            static_cast<int>(record.text.size()), 1, 1, record.style);
        break;
      case YAML_SEQUENCE_START_EVENT:
        yaml_sequence_start_event_initialize(&event, nullptr, tag, 1, YAML_ANY_SEQUENCE_STYLE);
        break;
      case YAML_MAPPING_START_EVENT:
        yaml_mapping_start_event_initialize(&event, nullptr, tag, 1, YAML_ANY_MAPPING_STYLE);
        break;
      case YAML_SEQUENCE_END_EVENT:
        yaml_sequence_end_event_initialize(&event);
        break;
      default:
        yaml_mapping_end_event_initialize(&event);
        break;
    }
    yaml_emitter_emit(&emitter, &event);
  }
  yaml_document_end_event_initialize(&event, 1);
  yaml_emitter_emit(&emitter, &event);
  yaml_emitter_flush(&emitter);
  yaml_emitter_delete(&emitter);
  return out;
}

// JSON to events: strings double-quoted so they stay strings, numbers and words plain.
void JsonEvents(const rapidjson::Value& json, EventList& list) {
  char buffer[64];
  if (json.IsNull()) {
    list.Scalar("null", nullptr, YAML_PLAIN_SCALAR_STYLE);
  } else if (json.IsBool()) {
    list.Scalar(json.GetBool() ? "true" : "false", nullptr, YAML_PLAIN_SCALAR_STYLE);
  } else if (json.IsUint64()) {
    std::snprintf(buffer, sizeof buffer, "%llu", static_cast<unsigned long long>(json.GetUint64()));
    list.Scalar(buffer, nullptr, YAML_PLAIN_SCALAR_STYLE);
  } else if (json.IsInt64()) {
    std::snprintf(buffer, sizeof buffer, "%lld", static_cast<long long>(json.GetInt64()));
    list.Scalar(buffer, nullptr, YAML_PLAIN_SCALAR_STYLE);
  } else if (json.IsNumber()) {
    std::snprintf(buffer, sizeof buffer, "%.17g", json.GetDouble());
    list.Scalar(buffer, nullptr, YAML_PLAIN_SCALAR_STYLE);
  } else if (json.IsString()) {
    list.Scalar(std::string(json.GetString(), json.GetStringLength()), nullptr,
                YAML_DOUBLE_QUOTED_SCALAR_STYLE);
  } else if (json.IsArray()) {
    list.Push(YAML_SEQUENCE_START_EVENT);
    for (const auto& item : json.GetArray()) JsonEvents(item, list);
    list.Push(YAML_SEQUENCE_END_EVENT);
  } else {
    list.Push(YAML_MAPPING_START_EVENT);
    for (const auto& member : json.GetObject()) {
      list.Scalar(std::string(member.name.GetString(), member.name.GetStringLength()), nullptr,
                  YAML_ANY_SCALAR_STYLE);
      JsonEvents(member.value, list);
    }
    list.Push(YAML_MAPPING_END_EVENT);
  }
}

// The events WriteYaml emits for a tree, with the same texts, tags and styles.
class WriterEvents final : public Varn::BindingVisitor {
 public:
  explicit WriterEvents(EventList& list) : list_(list) {}
  void OnNull() override { list_.Scalar("null", "tag:yaml.org,2002:null", YAML_ANY_SCALAR_STYLE); }
  void OnBool(bool v) override {
    list_.Scalar(v ? "true" : "false", "tag:yaml.org,2002:bool", YAML_ANY_SCALAR_STYLE);
  }
  void OnSigned(int64_t v) override {
    list_.Scalar(std::to_string(v), "tag:yaml.org,2002:int", YAML_ANY_SCALAR_STYLE);
  }
  void OnUnsigned(uint64_t v) override {
    list_.Scalar(std::to_string(v), "tag:yaml.org,2002:int", YAML_ANY_SCALAR_STYLE);
  }
  // "%f" when that reads back as the same double, else the shortest fixed text that does.
  void OnFloat(double v) override {
    char buffer[400];
    std::snprintf(buffer, sizeof buffer, "%f", v);
    if (std::isfinite(v) && std::strtod(buffer, nullptr) != v) {
      *std::to_chars(buffer, buffer + sizeof buffer - 1, v, std::chars_format::fixed).ptr = '\0';
    }
    list_.Scalar(buffer, "tag:yaml.org,2002:float", YAML_ANY_SCALAR_STYLE);
  }
  void OnString(std::string_view v) override {
    list_.Scalar(std::string(v), "tag:yaml.org,2002:str", YAML_DOUBLE_QUOTED_SCALAR_STYLE);
  }
  void OnBlob(std::span<const uint8_t>) override {}
  void OnEnum(Varn::BindingEnumValue) override {}
  void OnBeginCollection(size_t) override {
    list_.Push(YAML_SEQUENCE_START_EVENT, "tag:yaml.org,2002:seq");
  }
  void OnBeginElement(size_t) override {}
  void OnEndElement(size_t) override {}
  void OnEndCollection() override { list_.Push(YAML_SEQUENCE_END_EVENT); }
  void OnBeginStructure(size_t) override {
    list_.Push(YAML_MAPPING_START_EVENT, "tag:yaml.org,2002:map");
  }
  void OnKey(std::string_view key) override {
    list_.Scalar(std::string(key), "tag:yaml.org,2002:str", YAML_ANY_SCALAR_STYLE);
  }
  void OnEndMember(std::string_view) override {}
  void OnEndStructure() override { list_.Push(YAML_MAPPING_END_EVENT); }

 private:
  EventList& list_;
};

struct Input {
  std::string yaml;                 // block YAML converted from the JSON file
  Varn::BindingProperty tree;       // ParseYaml of it
  std::vector<EventRecord> events;  // what WriteYaml emits for the tree
  size_t written_size = 0;          // WriteYaml's output size
  YAML::Node yaml_cpp_node;         // yaml-cpp's tree of the same text
};

const Input& GetInput(const std::string& name) {
  static std::map<std::string, Input> inputs;
  auto it = inputs.find(name);
  if (it != inputs.end()) return it->second;
  Input& input = inputs[name];
  std::ifstream file("../shared/testdata/bench/" + name + ".json", std::ios::binary);
  std::string json((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  rapidjson::Document document;
  document.Parse(json.c_str(), json.size());
  if (document.HasParseError()) {
    std::fprintf(stderr, "cannot read %s.json\n", name.c_str());
    std::abort();
  }
  EventList from_json;
  JsonEvents(document, from_json);
  input.yaml = EmitEvents(from_json.events, 4);
  Varn::BindingResult parsed = Varn::ParseYaml(input.yaml);
  if (!parsed.IsOk()) {
    std::fprintf(stderr, "%s: %s\n", name.c_str(), parsed.ErrorMessage().c_str());
    std::abort();
  }
  input.tree = std::move(parsed.value);
  EventList written;
  WriterEvents visitor(written);
  input.tree.Accept(visitor);
  input.events = std::move(written.events);
  input.written_size = Varn::WriteYaml(input.tree).size();
  input.yaml_cpp_node = YAML::Load(input.yaml);
  return input;
}

// The call alone: the caller's later release of the tree is timed separately below.
void BM_ParseYaml(benchmark::State& state, const char* name) {
  const Input& input = GetInput(name);
  for (auto _ : state) {
    auto result = std::make_unique<Varn::BindingResult>(Varn::ParseYaml(input.yaml));
    benchmark::DoNotOptimize(result);
    state.PauseTiming();
    result.reset();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input.yaml.size()));
}

void BM_ParseYamlAndRelease(benchmark::State& state, const char* name) {
  const Input& input = GetInput(name);
  for (auto _ : state) {
    Varn::BindingResult result = Varn::ParseYaml(input.yaml);
    benchmark::DoNotOptimize(result);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input.yaml.size()));
}

// Parses and deletes every event, building nothing.
void BM_LibyamlEventLoop(benchmark::State& state, const char* name) {
  const Input& input = GetInput(name);
  for (auto _ : state) {
    yaml_parser_t parser;
    yaml_parser_initialize(&parser);
    yaml_parser_set_input_string(&parser, reinterpret_cast<const unsigned char*>(input.yaml.data()),
                                 input.yaml.size());
    yaml_parser_set_encoding(&parser, YAML_UTF8_ENCODING);
    yaml_event_t event;
    size_t count = 0;
    while (yaml_parser_parse(&parser, &event)) {
      bool done = event.type == YAML_STREAM_END_EVENT;
      yaml_event_delete(&event);
      ++count;
      if (done) break;
    }
    yaml_parser_delete(&parser);
    benchmark::DoNotOptimize(count);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input.yaml.size()));
}

void BM_YamlCppLoad(benchmark::State& state, const char* name) {
  const Input& input = GetInput(name);
  for (auto _ : state) {
    YAML::Node node = YAML::Load(input.yaml);
    benchmark::DoNotOptimize(node);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input.yaml.size()));
}

void BM_WriteYaml(benchmark::State& state, const char* name) {
  const Input& input = GetInput(name);
  for (auto _ : state) {
    std::string text = Varn::WriteYaml(input.tree);
    benchmark::DoNotOptimize(text);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input.written_size));
}

// Emits the same events as WriteYaml into memory, from texts prepared beforehand.
void BM_LibyamlEmitter(benchmark::State& state, const char* name) {
  const Input& input = GetInput(name);
  for (auto _ : state) {
    std::string text = EmitEvents(input.events, 4);
    benchmark::DoNotOptimize(text);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input.written_size));
}

void BM_YamlCppEmitter(benchmark::State& state, const char* name) {
  const Input& input = GetInput(name);
  for (auto _ : state) {
    YAML::Emitter emitter;
    emitter << input.yaml_cpp_node;
    benchmark::DoNotOptimize(emitter.c_str());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input.written_size));
}

void RegisterAll() {
  for (const char* name : kInputs) {
    std::string suffix = std::string("/") + name;
    benchmark::RegisterBenchmark(("ParseYaml" + suffix).c_str(), BM_ParseYaml, name)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("ParseYamlAndRelease" + suffix).c_str(), BM_ParseYamlAndRelease,
                                 name)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("LibyamlEventLoop" + suffix).c_str(), BM_LibyamlEventLoop, name)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("YamlCppLoad" + suffix).c_str(), BM_YamlCppLoad, name)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("WriteYaml" + suffix).c_str(), BM_WriteYaml, name)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("LibyamlEmitter" + suffix).c_str(), BM_LibyamlEmitter, name)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("YamlCppEmitter" + suffix).c_str(), BM_YamlCppEmitter, name)
        ->Unit(benchmark::kMillisecond);
  }
}

}  // namespace

int main(int argc, char** argv) {
  RegisterAll();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

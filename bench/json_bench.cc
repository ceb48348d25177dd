// ParseJson against RapidJSON's own DOM (the goal is at least half its speed), RapidJSON's reader
// with a do-nothing handler (the floor any tree builder on it pays) and nlohmann::json.
// clang-format off
#include "binding/rapidjson_simd.h"  // same scanning as the library's reader
// clang-format on
#include <benchmark/benchmark.h>
#include <rapidjson/document.h>
#include <rapidjson/reader.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "binding/json_reader.h"

namespace {

const std::string& Input(const std::string& name) {
  static std::map<std::string, std::string> files;
  auto [it, inserted] = files.try_emplace(name);
  if (inserted) {
    std::ifstream file("../shared/testdata/bench/" + name, std::ios::binary);
    std::stringstream buffer;
    buffer << file.rdbuf();
    it->second = buffer.str();
  }
  return it->second;
}

bool Ready(benchmark::State& state, const std::string& text) {
  if (text.empty()) {
    state.SkipWithError("input missing");
    return false;
  }
  return true;
}

void BM_ParseJson(benchmark::State& state, const char* name) {
  const std::string& text = Input(name);
  if (!Ready(state, text)) return;
  for (auto _ : state) {
    Varn::BindingResult result = Varn::ParseJson(text);
    if (!result.IsOk()) state.SkipWithError(result.ErrorMessage().c_str());
    benchmark::DoNotOptimize(result);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_RapidJsonDocument(benchmark::State& state, const char* name) {
  const std::string& text = Input(name);
  if (!Ready(state, text)) return;
  for (auto _ : state) {
    rapidjson::Document document;
    document.Parse(text.c_str());
    if (document.HasParseError()) state.SkipWithError("parse error");
    benchmark::DoNotOptimize(document);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_RapidJsonReaderNull(benchmark::State& state, const char* name) {
  const std::string& text = Input(name);
  if (!Ready(state, text)) return;
  for (auto _ : state) {
    rapidjson::Reader reader;
    rapidjson::BaseReaderHandler<> ignore;
    rapidjson::StringStream stream(text.c_str());
    const rapidjson::ParseResult parsed =
        reader.Parse<rapidjson::kParseIterativeFlag>(stream, ignore);
    if (!parsed) state.SkipWithError("parse error");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_Nlohmann(benchmark::State& state, const char* name) {
  const std::string& text = Input(name);
  if (!Ready(state, text)) return;
  for (auto _ : state) {
    nlohmann::json document = nlohmann::json::parse(text, nullptr, false);
    if (document.is_discarded()) state.SkipWithError("parse error");
    benchmark::DoNotOptimize(document);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

#define ZEK_JSON_INPUTS(fn)                                 \
  BENCHMARK_CAPTURE(fn, canada, "canada.json");             \
  BENCHMARK_CAPTURE(fn, citm_catalog, "citm_catalog.json"); \
  BENCHMARK_CAPTURE(fn, twitter, "twitter.json")

ZEK_JSON_INPUTS(BM_ParseJson);
ZEK_JSON_INPUTS(BM_RapidJsonDocument);
ZEK_JSON_INPUTS(BM_RapidJsonReaderNull);
ZEK_JSON_INPUTS(BM_Nlohmann);

}  // namespace

BENCHMARK_MAIN();

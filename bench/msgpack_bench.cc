// ParseMsgPack against msgpack-c's unpack into its object tree (the goal is at least half its
// speed) and nlohmann::json::from_msgpack. The inputs are the JSON benchmark files encoded as
// MessagePack at start-up.
#define MSGPACK_NO_BOOST
#include <benchmark/benchmark.h>

#include <fstream>
#include <map>
#include <msgpack.hpp>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "binding/msgpack_reader.h"

namespace {

const std::vector<uint8_t>& Input(const std::string& name) {
  static std::map<std::string, std::vector<uint8_t>> files;
  auto [it, inserted] = files.try_emplace(name);
  if (inserted) {
    std::ifstream file("../shared/testdata/bench/" + name, std::ios::binary);
    std::stringstream buffer;
    buffer << file.rdbuf();
    const nlohmann::json document = nlohmann::json::parse(buffer.str(), nullptr, false);
    if (!document.is_discarded()) it->second = nlohmann::json::to_msgpack(document);
  }
  return it->second;
}

bool Ready(benchmark::State& state, const std::vector<uint8_t>& bytes) {
  if (bytes.empty()) {
    state.SkipWithError("input missing");
    return false;
  }
  return true;
}

void BM_ParseMsgPack(benchmark::State& state, const char* name) {
  const std::vector<uint8_t>& bytes = Input(name);
  if (!Ready(state, bytes)) return;
  for (auto _ : state) {
    size_t consumed = 0;
    Varn::BindingResult result = Varn::ParseMsgPack(bytes.data(), bytes.size(), &consumed);
    if (!result.IsOk() || consumed != bytes.size()) state.SkipWithError("decode error");
    benchmark::DoNotOptimize(result);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

void BM_MsgPackCUnpack(benchmark::State& state, const char* name) {
  const std::vector<uint8_t>& bytes = Input(name);
  if (!Ready(state, bytes)) return;
  for (auto _ : state) {
    msgpack::object_handle handle =
        msgpack::unpack(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    benchmark::DoNotOptimize(handle.get());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

void BM_NlohmannFromMsgPack(benchmark::State& state, const char* name) {
  const std::vector<uint8_t>& bytes = Input(name);
  if (!Ready(state, bytes)) return;
  for (auto _ : state) {
    nlohmann::json document = nlohmann::json::from_msgpack(bytes, true, false);
    if (document.is_discarded()) state.SkipWithError("decode error");
    benchmark::DoNotOptimize(document);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

#define ZEK_MSGPACK_INPUTS(fn)                              \
  BENCHMARK_CAPTURE(fn, canada, "canada.json");             \
  BENCHMARK_CAPTURE(fn, citm_catalog, "citm_catalog.json"); \
  BENCHMARK_CAPTURE(fn, twitter, "twitter.json")

ZEK_MSGPACK_INPUTS(BM_ParseMsgPack);
ZEK_MSGPACK_INPUTS(BM_MsgPackCUnpack);
ZEK_MSGPACK_INPUTS(BM_NlohmannFromMsgPack);

}  // namespace

BENCHMARK_MAIN();

// Building, deep-copying and destroying a value tree of the shape of citm_catalog.json, and
// member lookup by name, against nlohmann::json and rapidjson::Document doing the same. Every
// tree is built by walking one parsed rapidjson::Document, so all three pay the same input cost.
#include <benchmark/benchmark.h>
#include <rapidjson/document.h>

#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "binding/binding_page_pool.h"
#include "binding/binding_property.h"

namespace {

using Varn::BindingPagePool;
using Varn::BindingProperty;

// Argument 0: regions go back to the system as soon as they are free (the pool's default);
// 64: the pool keeps up to 64 free regions, so no iteration reserves or faults in fresh memory.
class SpareRegions {
 public:
  explicit SpareRegions(const benchmark::State& state) {
    BindingPagePool::Instance().SetSpareRegions(static_cast<size_t>(state.range(0)));
  }
  ~SpareRegions() { BindingPagePool::Instance().SetSpareRegions(0); }
};

constexpr const char* kCitmPath = "../shared/testdata/bench/citm_catalog.json";

const rapidjson::Document& Citm() {
  static const rapidjson::Document* document = [] {
    std::ifstream in(kCitmPath, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    auto* d = new rapidjson::Document();
    d->Parse(text.str().c_str());
    if (d->HasParseError() || !d->IsObject()) {
      std::fprintf(stderr, "cannot read %s\n", kCitmPath);
      std::abort();
    }
    return d;
  }();
  return *document;
}

void Build(const rapidjson::Value& from, BindingProperty& to) {
  switch (from.GetType()) {
    case rapidjson::kNullType:
      to.Reset();
      break;
    case rapidjson::kFalseType:
    case rapidjson::kTrueType:
      to.SetBool(from.GetBool());
      break;
    case rapidjson::kStringType:
      to.SetString(std::string_view(from.GetString(), from.GetStringLength()));
      break;
    case rapidjson::kNumberType:
      if (from.IsInt64()) {
        to.SetSigned(from.GetInt64());
      } else if (from.IsUint64()) {
        to.SetUnsigned(from.GetUint64());
      } else {
        to.SetFloat(from.GetDouble());
      }
      break;
    case rapidjson::kArrayType:
      to.MakeCollection();
      to.Reserve(from.Size());
      for (const auto& element : from.GetArray()) Build(element, to.Append());
      break;
    case rapidjson::kObjectType:
      to.MakeStructure();
      for (const auto& member : from.GetObject()) {
        Build(member.value,
              to.Field(std::string_view(member.name.GetString(), member.name.GetStringLength())));
      }
      break;
  }
}

nlohmann::json BuildNlohmann(const rapidjson::Value& from) {
  switch (from.GetType()) {
    case rapidjson::kNullType:
      return nullptr;
    case rapidjson::kFalseType:
    case rapidjson::kTrueType:
      return from.GetBool();
    case rapidjson::kStringType:
      return std::string(from.GetString(), from.GetStringLength());
    case rapidjson::kNumberType:
      if (from.IsInt64()) return from.GetInt64();
      if (from.IsUint64()) return from.GetUint64();
      return from.GetDouble();
    case rapidjson::kArrayType: {
      nlohmann::json array = nlohmann::json::array();
      array.get_ref<nlohmann::json::array_t&>().reserve(from.Size());
      for (const auto& element : from.GetArray()) array.push_back(BuildNlohmann(element));
      return array;
    }
    case rapidjson::kObjectType: {
      nlohmann::json object = nlohmann::json::object();
      for (const auto& member : from.GetObject()) {
        object[std::string(member.name.GetString(), member.name.GetStringLength())] =
            BuildNlohmann(member.value);
      }
      return object;
    }
  }
  return nullptr;
}

void BuildRapid(const rapidjson::Value& from, rapidjson::Value& to,
                rapidjson::Document::AllocatorType& allocator) {
  switch (from.GetType()) {
    case rapidjson::kArrayType:
      to.SetArray();
      to.Reserve(from.Size(), allocator);
      for (const auto& element : from.GetArray()) {
        rapidjson::Value child;
        BuildRapid(element, child, allocator);
        to.PushBack(child, allocator);
      }
      break;
    case rapidjson::kObjectType:
      to.SetObject();
      for (const auto& member : from.GetObject()) {
        rapidjson::Value name(member.name.GetString(), member.name.GetStringLength(), allocator);
        rapidjson::Value child;
        BuildRapid(member.value, child, allocator);
        to.AddMember(name, child, allocator);
      }
      break;
    case rapidjson::kStringType:
      to.SetString(from.GetString(), from.GetStringLength(), allocator);
      break;
    default:
      to.CopyFrom(from, allocator);
      break;
  }
}

void BM_CitmBuildDestroy_BindingProperty(benchmark::State& state) {
  const rapidjson::Document& source = Citm();
  SpareRegions spares(state);
  for (auto _ : state) {
    BindingProperty tree;
    Build(source, tree);
    benchmark::DoNotOptimize(tree);
  }
}
BENCHMARK(BM_CitmBuildDestroy_BindingProperty)->Arg(0)->Arg(64)->Unit(benchmark::kMicrosecond);

void BM_CitmBuildDestroy_Nlohmann(benchmark::State& state) {
  const rapidjson::Document& source = Citm();
  for (auto _ : state) {
    nlohmann::json tree = BuildNlohmann(source);
    benchmark::DoNotOptimize(tree);
  }
}
BENCHMARK(BM_CitmBuildDestroy_Nlohmann)->Unit(benchmark::kMicrosecond);

void BM_CitmBuildDestroy_RapidJson(benchmark::State& state) {
  const rapidjson::Document& source = Citm();
  for (auto _ : state) {
    rapidjson::Document tree;
    BuildRapid(source, tree, tree.GetAllocator());
    benchmark::DoNotOptimize(tree);
  }
}
BENCHMARK(BM_CitmBuildDestroy_RapidJson)->Unit(benchmark::kMicrosecond);

void BM_CitmDeepCopy_BindingProperty(benchmark::State& state) {
  BindingProperty original;
  Build(Citm(), original);
  SpareRegions spares(state);
  for (auto _ : state) {
    BindingProperty copy(original);
    benchmark::DoNotOptimize(copy);
  }
}
BENCHMARK(BM_CitmDeepCopy_BindingProperty)->Arg(0)->Arg(64)->Unit(benchmark::kMicrosecond);

void BM_CitmDeepCopy_Nlohmann(benchmark::State& state) {
  const nlohmann::json original = BuildNlohmann(Citm());
  for (auto _ : state) {
    nlohmann::json copy(original);
    benchmark::DoNotOptimize(copy);
  }
}
BENCHMARK(BM_CitmDeepCopy_Nlohmann)->Unit(benchmark::kMicrosecond);

void BM_CitmDeepCopy_RapidJson(benchmark::State& state) {
  const rapidjson::Document& original = Citm();
  for (auto _ : state) {
    rapidjson::Document copy;
    copy.CopyFrom(original, copy.GetAllocator());
    benchmark::DoNotOptimize(copy);
  }
}
BENCHMARK(BM_CitmDeepCopy_RapidJson)->Unit(benchmark::kMicrosecond);

// 50 members; lookups cycle through all names so no single path stays hot in the predictor.
constexpr int kMembers = 50;

std::vector<std::string> MemberNames() {
  std::vector<std::string> names;
  for (int i = 0; i < kMembers; ++i) names.push_back("member" + std::to_string(i * 37 % 101));
  return names;
}

void BM_Lookup50_BindingProperty(benchmark::State& state) {
  const std::vector<std::string> names = MemberNames();
  BindingProperty structure;
  for (int i = 0; i < kMembers; ++i) structure.Field(names[i]).SetSigned(i);
  size_t next = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(structure.Find(names[next]));
    next = next + 1 == names.size() ? 0 : next + 1;
  }
}
BENCHMARK(BM_Lookup50_BindingProperty);

void BM_Lookup50_Nlohmann(benchmark::State& state) {
  const std::vector<std::string> names = MemberNames();
  nlohmann::json structure = nlohmann::json::object();
  for (int i = 0; i < kMembers; ++i) structure[names[i]] = i;
  size_t next = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(structure.find(names[next]));
    next = next + 1 == names.size() ? 0 : next + 1;
  }
}
BENCHMARK(BM_Lookup50_Nlohmann);

void BM_Lookup50_RapidJson(benchmark::State& state) {
  const std::vector<std::string> names = MemberNames();
  rapidjson::Document structure;
  structure.SetObject();
  for (int i = 0; i < kMembers; ++i) {
    rapidjson::Value name(names[i].c_str(), structure.GetAllocator());
    structure.AddMember(name, rapidjson::Value(i), structure.GetAllocator());
  }
  size_t next = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        structure.FindMember(rapidjson::StringRef(names[next].data(), names[next].size())));
    next = next + 1 == names.size() ? 0 : next + 1;
  }
}
BENCHMARK(BM_Lookup50_RapidJson);

}  // namespace

BENCHMARK_MAIN();

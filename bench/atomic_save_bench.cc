// The peer of zek-host's PATCH benchmark: the same bytes saved again and again into one folder
// with the crash-safe save every preference file goes through (write, fsync, rename, folder
// sync), on one thread as the host saves on its one host thread. The bytes are those of the file
// named by ZEK_SAVE_BYTES_FROM (the local preferences file after the benchmark's PATCH), else a
// small category file of the same shape.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "binding/file_system.h"

namespace {

std::string SavedBytes() {
  const char* from = std::getenv("ZEK_SAVE_BYTES_FROM");
  std::string bytes;
  if (from != nullptr && Varn::ReadWholeFile(from, bytes).IsOk()) return bytes;
  return "bench:\r\n  schemaVersion: 1\r\n  data:\r\n    quality: high\r\n    volume: 7\r\n";
}

void BM_AtomicSave(benchmark::State& state) {
  std::string pattern = (std::filesystem::temp_directory_path() / "zek_save_XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    state.SkipWithError("no temporary folder");
    return;
  }
  const std::string path = pattern + "/QEVLocalPreferences.yaml";
  const std::string bytes = SavedBytes();
  for (auto _ : state) {
    if (!Varn::WriteFileAtomically(path, bytes).IsOk()) {
      state.SkipWithError("save failed");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
  std::filesystem::remove_all(pattern);
}
BENCHMARK(BM_AtomicSave)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

// Any bytes: a value or a positioned error, never a crash. An accepted text round-trips through
// the YAML writer, which must take every tree the JSON reader builds, and the written text must
// load again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "binding/json_reader.h"
#include "binding/yaml_reader.h"
#include "binding/yaml_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  Varn::BindingResult result = Varn::ParseJson(text);
  if (!result.IsOk()) return 0;
  const std::string written = Varn::WriteYaml(result.value);
  if (written.empty() != result.value.IsEmpty()) std::abort();
  if (!Varn::ParseYaml(written).IsOk()) std::abort();
  return 0;
}

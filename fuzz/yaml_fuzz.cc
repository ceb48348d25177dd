// Any text: a value or a positioned error, never a crash. What is read is written and read again,
// and must load: a preference file we save must always load. From the second writing on, the
// text stays the same (the first may still turn a whole float into an integer).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "binding/yaml_reader.h"
#include "binding/yaml_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  Varn::BindingResult first = Varn::ParseYaml(text);
  if (!first.IsOk()) return 0;
  std::string written = Varn::WriteYaml(first.value);
  // The reader builds only trees the writer can write.
  if (written.empty() != first.value.IsEmpty()) std::abort();
  if (written.empty()) return 0;
  Varn::BindingResult second = Varn::ParseYaml(written);
  if (!second.IsOk()) std::abort();
  const std::string rewritten = Varn::WriteYaml(second.value);
  Varn::BindingResult third = Varn::ParseYaml(rewritten);
  if (!third.IsOk() || Varn::WriteYaml(third.value) != rewritten) std::abort();
  return 0;
}

// Any text: a value or a positioned error, never a crash. What is read is written and read again,
// and the second reading must succeed: a preference file we save must always load.
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
  if (written.empty()) return 0;  // texts libyaml refuses to write (invalid UTF-8) give none
  Varn::BindingResult second = Varn::ParseYaml(written);
  if (!second.IsOk()) std::abort();
  return 0;
}

// Any bytes: a value or a positioned error, never a crash and never an allocation driven by an
// announced length; the consumed count never passes the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "binding/msgpack_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  size_t consumed = 0;
  Varn::BindingResult result = Varn::ParseMsgPack(data, size, &consumed);
  if (consumed > size) std::abort();
  Varn::BindingProperty copy = result.value;  // deep copy and destruction of whatever was built
  return 0;
}

// StreamedBody: an in-process service's answer sent as a stream, the way a remote service's body
// arrives: piece by piece, each read giving at most what the current piece still holds. A body
// can be told to fail its read after some pieces, as a broken connection would.
#ifndef ZEK_HOST_RUNTIME_STREAMED_BODY_H_
#define ZEK_HOST_RUNTIME_STREAMED_BODY_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "zek/plugin_abi.h"

namespace Varn::Host {

struct StreamedBody {
  std::vector<std::string> pieces;
  // When set, the read after this many pieces fails.
  std::optional<size_t> failAfterPieces;
};

// The stream object behind a response record. The response owns it: the record's stream release
// function only marks it released, and the response's release function frees it, so a caller
// that never releases the stream leaks nothing.
class StreamedBodyReader {
 public:
  explicit StreamedBodyReader(StreamedBody body) : body_(std::move(body)) {}

  // Fills the stream words of `response` with this reader.
  static void Attach(std::unique_ptr<StreamedBodyReader> reader, PluginResponse& response);
  // Frees the reader attached to `response`, if any.
  static void Detach(PluginResponse& response);

  size_t Reads() const { return reads_; }
  bool Released() const { return released_; }

 private:
  static uint8_t Read(void* stream, uint8_t* buffer, size_t capacity, size_t* length,
                      uint8_t* more);
  static void Release(void* stream);

  StreamedBody body_;
  size_t piece_ = 0;
  size_t offset_ = 0;
  size_t reads_ = 0;
  bool released_ = false;
};

}  // namespace Varn::Host

#endif  // ZEK_HOST_RUNTIME_STREAMED_BODY_H_

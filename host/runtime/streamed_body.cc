#include "host/runtime/streamed_body.h"

#include <algorithm>
#include <cstring>

namespace Varn::Host {

void StreamedBodyReader::Attach(std::unique_ptr<StreamedBodyReader> reader,
                                PluginResponse& response) {
  response.streamRead = &StreamedBodyReader::Read;
  response.streamRelease = &StreamedBodyReader::Release;
  response.stream = reader.release();
}

void StreamedBodyReader::Detach(PluginResponse& response) {
  if (response.streamRead != &StreamedBodyReader::Read) return;
  delete static_cast<StreamedBodyReader*>(response.stream);
  response.stream = nullptr;
  response.streamRead = nullptr;
  response.streamRelease = nullptr;
}

uint8_t StreamedBodyReader::Read(void* stream, uint8_t* buffer, size_t capacity, size_t* length,
                                 uint8_t* more) {
  auto* self = static_cast<StreamedBodyReader*>(stream);
  if (self == nullptr || length == nullptr || more == nullptr) return 0;
  *length = 0;
  *more = 0;
  if (self->released_) return 0;
  ++self->reads_;
  const std::vector<std::string>& pieces = self->body_.pieces;
  // Empty pieces carry nothing; skip them so that every successful read moves forward.
  while (self->piece_ < pieces.size() && self->offset_ == pieces[self->piece_].size()) {
    ++self->piece_;
    self->offset_ = 0;
  }
  if (self->body_.failAfterPieces.has_value() && self->piece_ >= *self->body_.failAfterPieces &&
      self->piece_ < pieces.size()) {
    return 0;
  }
  if (self->piece_ < pieces.size()) {
    const std::string& piece = pieces[self->piece_];
    size_t count = std::min(capacity, piece.size() - self->offset_);
    if (count > 0 && buffer != nullptr) std::memcpy(buffer, piece.data() + self->offset_, count);
    self->offset_ += count;
    *length = count;
  }
  size_t next = self->piece_;
  size_t offset = self->offset_;
  while (next < pieces.size() && offset == pieces[next].size()) {
    ++next;
    offset = 0;
  }
  *more = next < pieces.size() ? 1 : 0;
  return 1;
}

void StreamedBodyReader::Release(void* stream) {
  if (stream != nullptr) static_cast<StreamedBodyReader*>(stream)->released_ = true;
}

}  // namespace Varn::Host

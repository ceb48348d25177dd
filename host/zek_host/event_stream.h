// EventStream: every event published on the host, fanned out to the readers of GET /events as
// Server-Sent Events. The host thread only formats and queues: each reader has a bounded queue,
// and a reader that lets it fill is dropped (its connection closed) rather than holding anyone
// back. The catch-all copy that publishers send of each resource event ("OnJsonApiEvent") is
// not streamed twice.
#ifndef ZEK_HOST_ZEK_HOST_EVENT_STREAM_H_
#define ZEK_HOST_ZEK_HOST_EVENT_STREAM_H_

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "zek/plugin_abi.h"

namespace Varn::Host {

class EventStream {
 public:
  // A reader may fall this many events, or bytes, behind before it is dropped.
  static constexpr size_t kQueueLimit = 1024;
  static constexpr size_t kQueueBytes = 4u << 20;

  class Reader {
   public:
    enum class Wait { kEvents, kTimeout, kClosed, kDropped };
    // Waits up to `timeout` for events and moves them into `out` (one SSE message each).
    Wait Next(std::chrono::milliseconds timeout, std::vector<std::string>& out);

   private:
    friend class EventStream;
    std::string prefix_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::string> queue_;
    size_t queuedBytes_ = 0;
    bool dropped_ = false;
    bool closed_ = false;
  };

  // A reader of the events whose uri starts with `prefix` (every event when empty).
  std::shared_ptr<Reader> Open(std::string prefix);
  void Close(const std::shared_ptr<Reader>& reader);
  // Ends every reader's stream; later Opens are closed at once.
  void CloseAll();
  size_t Readers();

  // Called for each published event, on the host thread.
  void OnEvent(const PluginEvent& event);

  // The SSE message of an event: "data: {...}\n\n"; nullopt for the catch-all copies.
  static std::optional<std::pair<std::string, std::string>> Format(const PluginEvent& event);

 private:
  std::mutex mutex_;
  std::vector<std::shared_ptr<Reader>> readers_;
  bool closed_ = false;
};

}  // namespace Varn::Host

#endif  // ZEK_HOST_ZEK_HOST_EVENT_STREAM_H_

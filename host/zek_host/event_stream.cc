#include "host/zek_host/event_stream.h"

#include <algorithm>

#include "binding/binding_property.h"
#include "cell_json/cell_json_renderer.h"
#include "host/runtime/event_name.h"
#include "host/runtime/host_runtime.h"

namespace Varn::Host {
namespace {

std::string JsonOf(const BindingProperty& value) {
  PluginCell cell{};
  BindingProperty::ToBoundary(value, nullptr, cell);
  std::string json = RenderCellJson(cell);
  BindingProperty::ReleaseBoundary(cell);
  return json;
}

}  // namespace

EventStream::Reader::Wait EventStream::Reader::Next(std::chrono::milliseconds timeout,
                                                    std::vector<std::string>& out) {
  std::unique_lock lock(mutex_);
  wake_.wait_for(lock, timeout, [this] { return dropped_ || closed_ || !queue_.empty(); });
  if (dropped_) return Wait::kDropped;
  if (!queue_.empty()) {
    out.insert(out.end(), std::make_move_iterator(queue_.begin()),
               std::make_move_iterator(queue_.end()));
    queue_.clear();
    queuedBytes_ = 0;
    return Wait::kEvents;
  }
  return closed_ ? Wait::kClosed : Wait::kTimeout;
}

std::shared_ptr<EventStream::Reader> EventStream::Open(std::string prefix) {
  auto reader = std::make_shared<Reader>();
  reader->prefix_ = std::move(prefix);
  std::lock_guard lock(mutex_);
  if (closed_) {
    reader->closed_ = true;
  } else {
    readers_.push_back(reader);
  }
  return reader;
}

void EventStream::Close(const std::shared_ptr<Reader>& reader) {
  std::lock_guard lock(mutex_);
  readers_.erase(std::remove(readers_.begin(), readers_.end(), reader), readers_.end());
}

void EventStream::CloseAll() {
  std::lock_guard lock(mutex_);
  closed_ = true;
  for (const auto& reader : readers_) {
    std::lock_guard reader_lock(reader->mutex_);
    reader->closed_ = true;
    reader->wake_.notify_all();
  }
  readers_.clear();
}

size_t EventStream::Readers() {
  std::lock_guard lock(mutex_);
  return readers_.size();
}

std::optional<std::pair<std::string, std::string>> EventStream::Format(const PluginEvent& event) {
  std::string name = event.name != nullptr ? event.name : "";
  BindingProperty payload = HostRuntime::DecodePayload(event);
  std::string uri(payload.Find("uri").GetString());
  if (name == kCatchAllEventName && !uri.empty() && ResourceEventName(uri) != kCatchAllEventName) {
    return std::nullopt;
  }
  BindingProperty name_text;
  name_text.SetString(name);
  std::string json = "{\"name\":" + JsonOf(name_text);
  if (payload.GetType() == BindingPropertyType::Structure && payload.TryFind("uri") != nullptr) {
    const BindingProperty& type = payload.Find("eventType");
    BindingProperty type_name;
    if (type.GetType() == BindingPropertyType::String) {
      type_name = type;
    } else {
      static constexpr const char* kNames[] = {"Create", "Update", "Delete"};
      uint64_t index = type.GetType() == BindingPropertyType::Unsigned ? type.GetUnsigned() : 1;
      type_name.SetString(index < 3 ? kNames[index] : "Update");
    }
    json += ",\"uri\":" + JsonOf(payload.Find("uri")) + ",\"eventType\":" + JsonOf(type_name) +
            ",\"data\":" + JsonOf(payload.Find("data")) + "}";
  } else {
    // Not a resource event: the payload as it came.
    json += ",\"data\":" + JsonOf(payload) + "}";
  }
  return std::make_pair(std::move(uri), "data: " + json + "\n\n");
}

void EventStream::OnEvent(const PluginEvent& event) {
  std::lock_guard lock(mutex_);
  if (readers_.empty()) return;
  auto formatted = Format(event);
  if (!formatted.has_value()) return;
  const auto& [uri, message] = *formatted;
  for (const auto& reader : readers_) {
    if (!uri.starts_with(reader->prefix_)) continue;
    std::lock_guard reader_lock(reader->mutex_);
    if (reader->dropped_) continue;
    if (reader->queue_.size() >= kQueueLimit ||
        reader->queuedBytes_ + message.size() > kQueueBytes) {
      reader->dropped_ = true;
      reader->queue_.clear();
      reader->queuedBytes_ = 0;
    } else {
      reader->queue_.push_back(message);
      reader->queuedBytes_ += message.size();
    }
    reader->wake_.notify_all();
  }
}

}  // namespace Varn::Host

#include "plugin/plugin_base.h"

#include "binding/binding_page_pool.h"
#include "runtime/logger.h"

namespace Varn {
namespace {

constexpr uint32_t kNotSent = 400;

}  // namespace

PluginBase::PluginBase() : pinnedPage_(BindingPagePool::Instance().TakePage()) {
  Logger::Acquire();
}

PluginBase::~PluginBase() {
  BindingPagePool::Instance().GivePage(pinnedPage_);
  Timers::ForgetScheduled(*this);
  logTarget_.reset();
  BindingProperty::ReleaseBoundary(apiDescription_.help);
  Logger::Release();
}

void PluginBase::Subscribe(std::string_view uri) { ResourceEvents::Subscribe(*this, uri); }
void PluginBase::Unsubscribe(std::string_view uri) { ResourceEvents::Unsubscribe(*this, uri); }

void PluginBase::Stop() { StopFrame(); }

uint32_t PluginBase::SubscriptionCount(std::string_view event_name) const {
  auto it = subscriptionCounts_.find(event_name);
  return it == subscriptionCounts_.end() ? 0 : it->second;
}

bool PluginBase::HasTimer(std::string_view name) const { return timers_.contains(name); }

size_t PluginBase::ScheduledCallbackCount() const {
  std::lock_guard lock(scheduledMutex_);
  return scheduledCallbacks_.size();
}

void PluginBase::StopFrame() {
  for (const auto& [name, count] : subscriptionCounts_) {
    if (count > 0) RemoveEventListener(name.c_str(), handle_);
  }
  ServiceProxy::StopListening(*this);
  subscriptionCounts_.clear();
  eventHandlers_.clear();
  resourceHandlers_.Clear();
  timers_.clear();
  Timers::ForgetScheduled(*this);
  serviceProxy_.Clear();
}

void PluginBase::StartFrame() {
  telemetry_ = std::make_unique<TelemetrySender>(*this);
  ServiceProxy::Listen(*this);
}

std::future<CallResult> PluginBase::SendTelemetryEvent(std::string_view name,
                                                       const BindingProperty& payload) {
  if (telemetry_ == nullptr) {
    CallResult not_sent;
    not_sent.status = kNotSent;
    not_sent.error = true;
    not_sent.message = "Request not sent: the plugin has not started";
    return CompletedCall(std::move(not_sent));
  }
  return telemetry_->SendTelemetryEvent(name, payload);
}

int32_t PluginBase::SendRequest(PluginResponse* response, const PluginRequest* request) {
  if (host_ == nullptr) {
    if (response != nullptr) {
      *response = PluginResponse{};
      response->status = kNotSent;
    }
    return PLUGIN_HOST_NOT_SUPPORTED;
  }
  return host_->api->SendRequest(host_->api, response, request);
}

int32_t PluginBase::Reserved(uint32_t word0, uint32_t word1) {
  if (host_ == nullptr) return PLUGIN_HOST_NOT_SUPPORTED;
  return host_->api->Reserved(host_->api, word0, word1);
}

int32_t PluginBase::PublishEvent(const PluginEvent* event) {
  if (host_ == nullptr) return PLUGIN_HOST_NOT_SUPPORTED;
  return host_->api->PublishEvent(host_->api, event);
}

int32_t PluginBase::AddEventListener(const char* name, uint32_t handle,
                                     PluginEventCallback callback, void* context, uint32_t kind) {
  if (host_ == nullptr) return PLUGIN_HOST_NOT_SUPPORTED;
  return host_->api->AddEventListener(host_->api, name, handle, callback, context, kind);
}

int32_t PluginBase::RemoveEventListener(const char* name, uint32_t handle) {
  if (host_ == nullptr) return PLUGIN_HOST_NOT_SUPPORTED;
  return host_->api->RemoveEventListener(host_->api, name, handle);
}

int32_t PluginBase::ScheduleCallback(const char* label, PluginScheduledCallback callback,
                                     void* context, double delay_seconds, uint32_t reserved) {
  if (host_ == nullptr) return PLUGIN_HOST_NOT_SUPPORTED;
  return host_->api->ScheduleCallback(host_->api, label, callback, context, delay_seconds,
                                      reserved);
}

int32_t PluginBase::YieldToHost() {
  if (host_ == nullptr) return PLUGIN_HOST_NOT_SUPPORTED;
  return host_->api->YieldToHost(host_->api);
}

int32_t PluginBase::EnterWait(const char* label, uint32_t reserved) {
  if (host_ == nullptr) return PLUGIN_HOST_NOT_SUPPORTED;
  return host_->api->EnterWait(host_->api, label, reserved);
}

int32_t PluginBase::LeaveWait() {
  if (host_ == nullptr) return PLUGIN_HOST_NOT_SUPPORTED;
  return host_->api->LeaveWait(host_->api);
}

void PluginBase::RegisterApi() {}

bool PluginBase::Start() { return true; }

void PluginBase::Dispatch(PluginResponse* response, const PluginRequest* request) const noexcept {
  routes_.Dispatch(response, request, &registry_);
}

}  // namespace Varn

// A plugin linked into the test binary, for driving the frame through the host runtime with a
// manual clock. Tests run plugin code on the host thread through OnHost.
#ifndef ZEK_TESTS_HOST_PROBE_PLUGIN_H_
#define ZEK_TESTS_HOST_PROBE_PLUGIN_H_

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/runtime/host_runtime.h"
#include "plugin/plugin_registration.h"

namespace Varn::Host {

class ProbePlugin : public PluginBase {
 public:
  static inline ProbePlugin* last = nullptr;
  static void Load(PluginLoadRecord* record) {
    auto plugin = std::make_unique<ProbePlugin>();
    last = plugin.get();
    PluginRegistration::Register(std::move(plugin), record, "probe");
  }
};

class ProbeFixture : public testing::Test {
 protected:
  ProbeFixture()
      : clock_(std::make_shared<ManualHostClock>()),
        runtime_(std::make_unique<HostRuntime>(clock_)) {}

  void SetUp() override {
    HostRuntime::LoadOutcome load = runtime_->LoadEntry(&ProbePlugin::Load);
    ASSERT_TRUE(load.ok) << load.error;
    handle_ = load.handle;
    plugin_ = ProbePlugin::last;
    ASSERT_TRUE(runtime_->Start(handle_));
  }

  // Runs `fn` with the plugin on the host thread, as every host call into a plugin runs.
  void OnHost(const std::function<void(ProbePlugin&)>& fn) {
    runtime_->RunOnHostThread([&] { fn(*plugin_); });
  }
  // Moves the clock on and runs what became due.
  size_t Advance(double seconds) {
    clock_->AdvanceSeconds(seconds);
    return runtime_->RunDueCallbacks();
  }
  // Log lines that contain `text`.
  std::vector<std::string> LinesWith(const std::string& text) const {
    std::vector<std::string> found;
    for (const LogLine& line : runtime_->LogLines()) {
      if (line.text.find(text) != std::string::npos) found.push_back(line.text);
    }
    return found;
  }
  // Every event published from now on, by name with its decoded payload.
  void RecordEvents() {
    runtime_->ObserveEvents([this](const PluginEvent& event) {
      events_.push_back({event.name, HostRuntime::DecodePayload(event)});
    });
  }

  struct Seen {
    std::string name;
    BindingProperty payload;
  };
  std::shared_ptr<ManualHostClock> clock_;
  std::unique_ptr<HostRuntime> runtime_;
  uint32_t handle_ = 0;
  ProbePlugin* plugin_ = nullptr;
  std::vector<Seen> events_;
};

}  // namespace Varn::Host

#endif  // ZEK_TESTS_HOST_PROBE_PLUGIN_H_

#include "plugin/plugin_registration.h"

#include <exception>

#include "binding/heap.h"
#include "binding/message_format.h"
#include "plugin/api_description.h"
#include "plugin/frame_log.h"
#include "plugin/frame_types.h"
#include "plugin/function_name.h"
#include "runtime/plugin_log_target.h"

namespace Varn {
namespace {

constexpr std::string_view kPluginType = "backend";
constexpr std::string_view kIncompatibleIdentifier = "ALE-EECF0606";
constexpr std::string_view kIncompatibleFormat =
    "%1 which supports plugin API %2 is not compatible with core's plugin API %3";
constexpr std::string_view kUserAgentFormat = "VarnClient/%1 (%2)";

// The plugin log target's writer: host operation 9 on the host table given as context.
void WriteToHost(void* context, int32_t level, const char* message) {
  auto* api = static_cast<const PluginHostApi*>(context);
  api->WriteLog(api, level, message);
}

}  // namespace

std::string PluginRegistration::UserAgent(const PluginApiVersion& core,
                                          std::string_view short_name) {
  return FormatMessage(kUserAgentFormat, core.Text(), short_name);
}

bool PluginRegistration::Register(std::unique_ptr<PluginBase> plugin, PluginLoadRecord* record,
                                  std::string_view short_name) noexcept {
  if (record == nullptr) return false;
  record->callbacks = nullptr;
  record->context = nullptr;
  record->shortName = nullptr;
  record->description = nullptr;
  if (plugin == nullptr) return false;
  try {
    if (!Handshake(*plugin, record, short_name)) return false;
  } catch (const std::exception& error) {
    FrameLog(kFrameLogError,
             FormatMessage("Registration of %1 failed: %2", short_name, error.what()));
    record->callbacks = nullptr;
    return false;
  } catch (...) {
    record->callbacks = nullptr;
    return false;
  }
  // From here on the host owns the plugin; the stop callback destroys it.
  plugin.release();
  return true;
}

bool PluginRegistration::Handshake(PluginBase& plugin, PluginLoadRecord* record,
                                   std::string_view short_name) {
  PluginApiVersion core{record->major, record->minor, record->patch, {}, {}};
  PluginApiVersion own = OwnPluginApiVersion();
  if (!IsCompatibleCore(core, own)) {
    FrameAssertFailed(kIncompatibleIdentifier,
                      FormatMessage(kIncompatibleFormat, short_name, own.Text(), core.Text()));
    return false;
  }
  plugin.coreVersion_ = core;
  plugin.nameRecord_ = MakePluginNameRecord(short_name, kPluginType);
  plugin.shortName_ = std::string(short_name);
  plugin.documentationTags_ = {"Plugins", "Plugin " + std::string(short_name)};
  plugin.namespaceIdentifier_ = CapitalizedIdentifier(short_name);
  RegisterFrameTypes(plugin.registry_);
  plugin.RegisterApi();
  BuildDescription(plugin);

  plugin.callbacks_ = {&StartCallback, &StopCallback, &MemoryStatsCallback};
  record->major = own.major;
  record->minor = own.minor;
  record->patch = own.patch;
  record->callbacks = &plugin.callbacks_;
  record->context = &plugin;
  record->shortName = plugin.shortName_.c_str();
  record->description = &plugin.apiDescription_;
  return true;
}

void PluginRegistration::BuildDescription(PluginBase& plugin) {
  plugin.functionDescriptions_ =
      DescribeFunctions(plugin.routes_, &PluginRegistration::DispatchEntry, &plugin);
  plugin.apiDescription_.functions = plugin.functionDescriptions_.data();
  plugin.apiDescription_.functionCount = plugin.functionDescriptions_.size();
  RegisterFunctions(plugin.routes_, plugin.namespaceIdentifier_, plugin.documentationTags_,
                    plugin.registry_);
  BindingResult help = DescribeApi(plugin.registry_);
  if (!help.IsOk()) {
    FrameLog(kFrameLogError, FormatMessage("Couldn't describe the API of %1: %2", plugin.shortName_,
                                           help.ErrorMessage()));
  }
  BindingProperty::ToBoundary(help.value, &plugin.registry_, plugin.apiDescription_.help);
}

uint8_t PluginRegistration::StartCallback(void* context, const PluginHostRecord* host) {
  auto* plugin = static_cast<PluginBase*>(context);
  if (plugin == nullptr || host == nullptr || host->api == nullptr) return 0;
  try {
    plugin->host_ = host;
    InstallPluginLogTarget(plugin->logTarget_, &WriteToHost, const_cast<PluginHostApi*>(host->api));
    plugin->handle_ = host->handle;
    plugin->userAgent_ = UserAgent(plugin->coreVersion_, plugin->shortName_);
    plugin->StartFrame();
    return plugin->Start() ? 1 : 0;
  } catch (const std::exception& error) {
    FrameLog(kFrameLogError,
             FormatMessage("Start of %1 failed: %2", plugin->shortName_, error.what()));
  } catch (...) {
  }
  return 0;
}

void PluginRegistration::StopCallback(void* context) {
  auto* plugin = static_cast<PluginBase*>(context);
  if (plugin == nullptr) return;
  plugin->stopping_.store(true, std::memory_order_relaxed);
  try {
    plugin->Stop();
  } catch (const std::exception& error) {
    FrameLog(kFrameLogError,
             FormatMessage("Stop of %1 failed: %2", plugin->shortName_, error.what()));
  } catch (...) {
    FrameLog(kFrameLogError, FormatMessage("Stop of %1 failed", plugin->shortName_));
  }
  // Whatever the override did (threw, or never called the base): no host listener, timer or
  // scheduled callback may outlive the object, and the host must not call into it again.
  try {
    plugin->StopFrame();
  } catch (...) {
  }
  delete plugin;
}

void PluginRegistration::MemoryStatsCallback(void*, PluginMemoryStats* stats) {
  if (stats == nullptr) return;
  HeapStatistics heap = ReadHeapStatistics();
  *stats = PluginMemoryStats{heap.peakLiveBytes,
                             heap.liveCountAtPeak,
                             heap.totalBytesAllocated,
                             heap.totalAllocations,
                             heap.totalBytesFreed,
                             heap.totalFrees,
                             0,
                             0};
}

void PluginRegistration::DispatchEntry(void* context, PluginResponse* response,
                                       const PluginRequest* request) {
  static_cast<const PluginBase*>(context)->Dispatch(response, request);
}

}  // namespace Varn

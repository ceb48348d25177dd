#include "runtime/trace_providers.h"

#include <cstring>

namespace Varn {
namespace {

constexpr TraceGuid kProviderIds[TraceProviders::kCount] = {
    {0x2F9EFE86, 0x4AF7, 0x4F37, {0xA4, 0x0F, 0x94, 0xB9, 0x09, 0xA1, 0x57, 0xD6}},
    {0xEA08C559, 0x95A8, 0x4AA2, {0xAF, 0xA6, 0x18, 0x73, 0x8E, 0xEC, 0x6D, 0x37}},
    {0x10F6728C, 0xEF92, 0x4BF1, {0x83, 0x97, 0x49, 0xE6, 0x93, 0xA6, 0xEB, 0x74}},
    {0x46DD7F96, 0x60CB, 0x416B, {0x80, 0x85, 0xDA, 0x5C, 0xD8, 0xF4, 0x91, 0xDD}},
};

}  // namespace

TraceProviders::TraceProviders() {
  for (int i = 0; i < kCount; ++i) providers_[i].id = kProviderIds[i];
}

void TraceProviders::OnEnable(const TraceGuid*, uint32_t is_enabled, void* context) {
  static_cast<Provider*>(context)->enabled.store(is_enabled != 0, std::memory_order_release);
}

void TraceProviders::Start(const TraceFunctions& functions, int64_t counter_frequency,
                           uint64_t calling_thread_id) {
  counter_frequency_ = counter_frequency;
  if (!functions.Available()) {
    functions_ = TraceFunctions{};
    return;
  }
  functions_ = functions;
  for (Provider& provider : providers_) {
    uint64_t handle = 0;
    if (functions_.eventRegister(&provider.id, &OnEnable, &provider, &handle) == 0) {
      provider.handle = handle;
    }
  }
  WriteThreadName(calling_thread_id, kMainThreadName);
}

void TraceProviders::Stop() {
  for (Provider& provider : providers_) {
    if (provider.handle == 0) continue;
    functions_.eventUnregister(provider.handle);
    provider.handle = 0;
    provider.enabled.store(false, std::memory_order_release);
  }
}

bool TraceProviders::WriteThreadName(uint64_t thread_id, const char* name) {
  Provider& provider = providers_[kThreadNameProvider];
  if (!IsOn() || provider.handle == 0 || !provider.enabled.load(std::memory_order_acquire)) {
    return false;
  }
  if (name == nullptr) name = "NULL";
  TraceEventData fields[2] = {
      {&thread_id, sizeof(thread_id)},
      {name, static_cast<uint32_t>(std::strlen(name) + 1)},
  };
  return functions_.eventWrite(provider.handle, kThreadNameEventId, 2, fields) == 0;
}

TraceProviders& ProcessTraceProviders() {
  static TraceProviders providers;
  return providers;
}

}  // namespace Varn

// The event-trace providers through which profiling tools see the library's markers.
#ifndef ZEK_RUNTIME_TRACE_PROVIDERS_H_
#define ZEK_RUNTIME_TRACE_PROVIDERS_H_

#include <atomic>
#include <cstdint>

namespace Varn {

struct TraceGuid {
  uint32_t data1;
  uint16_t data2;
  uint16_t data3;
  uint8_t data4[8];

  bool operator==(const TraceGuid&) const = default;
};

// Called by the platform when a tracing session turns a provider on or off.
using TraceEnableCallback = void (*)(const TraceGuid* provider, uint32_t is_enabled, void* context);

// One field of an event: a pointer and its size in bytes.
struct TraceEventData {
  const void* data;
  uint32_t size;
};

// The platform's event-tracing functions. Each returns 0 on success. Tracing is on only when
// all three exist.
struct TraceFunctions {
  uint32_t (*eventRegister)(const TraceGuid* provider, TraceEnableCallback callback, void* context,
                            uint64_t* handle) = nullptr;
  uint32_t (*eventWrite)(uint64_t handle, uint16_t event_id, uint32_t count,
                         const TraceEventData* data) = nullptr;
  uint32_t (*eventUnregister)(uint64_t handle) = nullptr;

  bool Available() const {
    return eventRegister != nullptr && eventWrite != nullptr && eventUnregister != nullptr;
  }
};

// The four providers, registered in table order at load and unregistered at unload. Start and
// Stop are meant for the load and unload of the library, on one thread; the enabled flags may
// change at any time from the platform's threads.
class TraceProviders {
 public:
  static constexpr int kCount = 4;
  // Provider 2 (index 1) carries the thread-name markers.
  static constexpr int kThreadNameProvider = 1;
  static constexpr uint16_t kThreadNameEventId = 1;
  static constexpr const char* kMainThreadName = "Main thread";

  struct Provider {
    TraceGuid id;
    uint64_t handle = 0;
    std::atomic<bool> enabled{false};
  };

  TraceProviders();
  TraceProviders(const TraceProviders&) = delete;
  TraceProviders& operator=(const TraceProviders&) = delete;

  // Reads the counter frequency and, when `functions` are all present, registers the four
  // providers; then names the calling thread "Main thread" when provider 2 is enabled.
  void Start(const TraceFunctions& functions, int64_t counter_frequency,
             uint64_t calling_thread_id);
  // Unregisters every provider that holds a handle and clears it.
  void Stop();

  bool IsOn() const { return functions_.Available(); }
  const Provider& At(int index) const { return providers_[index]; }
  int64_t CounterFrequency() const { return counter_frequency_; }

  // Writes a thread-name marker (thread id, name; a null name is written as "NULL") when
  // provider 2 is enabled. True when an event was written.
  bool WriteThreadName(uint64_t thread_id, const char* name);

 private:
  static void OnEnable(const TraceGuid* provider, uint32_t is_enabled, void* context);

  TraceFunctions functions_;
  int64_t counter_frequency_ = 0;
  Provider providers_[kCount];
};

// The providers of this library, started at load and stopped at unload.
TraceProviders& ProcessTraceProviders();

}  // namespace Varn

#endif  // ZEK_RUNTIME_TRACE_PROVIDERS_H_

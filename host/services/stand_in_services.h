// StandInServices: the client's other services, as far as the settings plugin and the people
// who try it need them, served in-process through the host runtime with their state in a
// ServiceStore. Each publishes its resource events as the real service would.
//
//   GET  /varnclient/command-line-args                the host's "--name=value" arguments
//   GET  /data-store/v1/install-dir                   the installation directory
//   GET  /data-store/v1/install-settings/{key}        404 when absent; POST stores
//   GET, PUT, DELETE /zek-login/v1/session            a LoginSession, state by name
//   GET, PUT /zek-player-preferences/v1/player-preferences-ready
//   the player-preferences cloud (player_preferences_cloud.h)
//   GET, PATCH /zek-game-settings/v1/{game-settings,input-settings}; POST .../save
//   GET, PUT /zek-platform-config/v1/namespaces/QevSettings
//   POST /telemetry/v1/events/{name}                  one JSON line per event
//
// Handlers run on the host thread, like everything the runtime routes.
#ifndef ZEK_HOST_SERVICES_STAND_IN_SERVICES_H_
#define ZEK_HOST_SERVICES_STAND_IN_SERVICES_H_

#include <memory>
#include <string>
#include <vector>

#include "host/runtime/host_runtime.h"
#include "host/services/player_preferences_cloud.h"
#include "host/services/resource_publisher.h"
#include "host/services/service_store.h"

namespace Varn::Host {

struct StandInConfig {
  std::vector<std::string> commandLineArgs;
  std::string installDir;
  std::string telemetryPath;  // the file telemetry events are appended to
};

class StandInServices {
 public:
  // REQUIRES: `runtime` and `store` outlive the services.
  StandInServices(HostRuntime& runtime, ServiceStore& store, StandInConfig config);
  // Adds every service to the runtime.
  void Register();

  PlayerPreferencesCloud& Cloud() { return cloud_; }

 private:
  ServiceAnswer Session(const ServiceRequest& request);
  ServiceAnswer Readiness(const ServiceRequest& request);
  ServiceAnswer InstallSettings(const ServiceRequest& request);
  ServiceAnswer GameSettings(const ServiceRequest& request);
  ServiceAnswer PlatformConfig(const ServiceRequest& request);
  ServiceAnswer Telemetry(const ServiceRequest& request);

  HostRuntime& runtime_;
  ServiceStore& store_;
  StandInConfig config_;
  ResourcePublisher publisher_;
  PlayerPreferencesCloud cloud_;
};

}  // namespace Varn::Host

#endif  // ZEK_HOST_SERVICES_STAND_IN_SERVICES_H_

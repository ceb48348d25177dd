// PlayerPreferencesCloud: the remote player-preferences service, standing in for the server that
// keeps each account's preference files. Copies are kept per account id of the current login
// session and preference type; the calls and their argument names are the ones in
// zek/service_arguments.h.
//
//   POST ZEK_PP_HASH_PATH               the text's SHA-256, lower-case hex
//   GET  ZEK_PP_PREFERENCE_PATH/{type}  the copy; 304 when its hash is the one given, 404 when
//                                       the account has none
//   PUT  ZEK_PP_PREFERENCE_PATH         stores the copy; answers it with "modified" in ms
//
// and, for people and tests, below /host/v1/:
//   GET, PUT /host/v1/cloud/{accountId}/{ppType}   read or seed a copy ({"data": text})
//   GET, PUT /host/v1/faults                       {"player-preferences": "up" | "down"}
// While the service is down every call above the operator paths answers 503.
#ifndef ZEK_HOST_SERVICES_PLAYER_PREFERENCES_CLOUD_H_
#define ZEK_HOST_SERVICES_PLAYER_PREFERENCES_CLOUD_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "host/runtime/host_runtime.h"
#include "host/services/resource_publisher.h"
#include "host/services/service_store.h"

namespace Varn::Host {

// The lower-case hex SHA-256 of `text`.
std::string TextHash(std::string_view text);

class PlayerPreferencesCloud {
 public:
  PlayerPreferencesCloud(ServiceStore& store, ResourcePublisher& publisher)
      : store_(store), publisher_(publisher) {}

  void Register(HostRuntime& runtime);

 private:
  ServiceAnswer Hash(const ServiceRequest& request);
  ServiceAnswer Preference(const ServiceRequest& request);
  ServiceAnswer OperatorCloud(const ServiceRequest& request);
  ServiceAnswer Faults(const ServiceRequest& request);
  // The account of the current login session, or nullopt when nobody is logged in.
  std::optional<uint64_t> SessionAccount();
  bool Stores(uint64_t account, std::string_view pp_type, std::string data, CloudCopy& stored,
              std::string& error);

  ServiceStore& store_;
  ResourcePublisher& publisher_;
  bool down_ = false;
};

}  // namespace Varn::Host

#endif  // ZEK_HOST_SERVICES_PLAYER_PREFERENCES_CLOUD_H_

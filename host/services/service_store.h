// ServiceStore: where the stand-in services keep their state, one SQLite database in WAL mode.
// Every write is its own transaction and has committed (synchronous=FULL) when the call returns,
// so a service answers only for what is on disk. Values are kept as JSON text. Used on the host
// thread only.
#ifndef ZEK_HOST_SERVICES_SERVICE_STORE_H_
#define ZEK_HOST_SERVICES_SERVICE_STORE_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

struct sqlite3;

namespace Varn::Host {

// A cloud copy of one account file.
struct CloudCopy {
  std::string data;
  uint64_t modified = 0;  // milliseconds since 1970
};

class ServiceStore {
 public:
  // Opens or creates the database at `path`; null with `error` set when it cannot.
  static std::unique_ptr<ServiceStore> Open(const std::string& path, std::string& error);
  ~ServiceStore();
  ServiceStore(const ServiceStore&) = delete;
  ServiceStore& operator=(const ServiceStore&) = delete;

  // Named values of a scope ("install-settings", "state"). Get is nullopt when absent; Put and
  // Erase return false with `error` set when the write did not commit.
  std::optional<std::string> Get(std::string_view scope, std::string_view key);
  bool Put(std::string_view scope, std::string_view key, std::string_view json, std::string& error);
  bool Erase(std::string_view scope, std::string_view key, std::string& error);

  std::optional<CloudCopy> GetCloud(uint64_t account_id, std::string_view pp_type);
  bool PutCloud(uint64_t account_id, std::string_view pp_type, const CloudCopy& copy,
                std::string& error);

 private:
  explicit ServiceStore(sqlite3* db) : db_(db) {}
  bool Exec(const char* sql, std::string& error);

  sqlite3* db_;
};

}  // namespace Varn::Host

#endif  // ZEK_HOST_SERVICES_SERVICE_STORE_H_

#include "host/services/service_store.h"

#include <sqlite3.h>

namespace Varn::Host {
namespace {

constexpr const char* kSchema =
    "PRAGMA journal_mode=WAL;"
    "PRAGMA synchronous=FULL;"
    "CREATE TABLE IF NOT EXISTS value_store(scope TEXT NOT NULL, key TEXT NOT NULL,"
    " value TEXT NOT NULL, PRIMARY KEY(scope, key));"
    "CREATE TABLE IF NOT EXISTS cloud(account_id INTEGER NOT NULL, pp_type TEXT NOT NULL,"
    " data TEXT NOT NULL, modified INTEGER NOT NULL, PRIMARY KEY(account_id, pp_type));";

// A prepared statement, finalised whatever the path out.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql) : db_(db) {
    if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK) stmt_ = nullptr;
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool Ok() const { return stmt_ != nullptr; }
  void Bind(int index, std::string_view text) {
    sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  }
  void Bind(int index, uint64_t number) {
    sqlite3_bind_int64(stmt_, index, static_cast<sqlite3_int64>(number));
  }
  int Step() { return stmt_ != nullptr ? sqlite3_step(stmt_) : SQLITE_ERROR; }
  std::string Text(int column) const {
    const unsigned char* text = sqlite3_column_text(stmt_, column);
    int size = sqlite3_column_bytes(stmt_, column);
    return text != nullptr ? std::string(reinterpret_cast<const char*>(text), size) : "";
  }
  uint64_t Number(int column) const {
    return static_cast<uint64_t>(sqlite3_column_int64(stmt_, column));
  }
  std::string Error() const { return sqlite3_errmsg(db_); }

 private:
  sqlite3* db_;
  sqlite3_stmt* stmt_ = nullptr;
};

bool Done(Statement& statement, std::string& error) {
  if (statement.Ok() && statement.Step() == SQLITE_DONE) return true;
  error = statement.Error();
  return false;
}

}  // namespace

std::unique_ptr<ServiceStore> ServiceStore::Open(const std::string& path, std::string& error) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
      SQLITE_OK) {
    error = db != nullptr ? sqlite3_errmsg(db) : "out of memory";
    sqlite3_close(db);
    return nullptr;
  }
  sqlite3_busy_timeout(db, 2000);
  std::unique_ptr<ServiceStore> store(new ServiceStore(db));
  if (!store->Exec(kSchema, error)) return nullptr;
  return store;
}

ServiceStore::~ServiceStore() { sqlite3_close(db_); }

bool ServiceStore::Exec(const char* sql, std::string& error) {
  char* message = nullptr;
  if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
  error = message != nullptr ? message : "unknown error";
  sqlite3_free(message);
  return false;
}

std::optional<std::string> ServiceStore::Get(std::string_view scope, std::string_view key) {
  Statement statement(db_, "SELECT value FROM value_store WHERE scope = ?1 AND key = ?2");
  statement.Bind(1, scope);
  statement.Bind(2, key);
  if (statement.Step() != SQLITE_ROW) return std::nullopt;
  return statement.Text(0);
}

bool ServiceStore::Put(std::string_view scope, std::string_view key, std::string_view json,
                       std::string& error) {
  Statement statement(db_,
                      "INSERT INTO value_store(scope, key, value) VALUES(?1, ?2, ?3)"
                      " ON CONFLICT(scope, key) DO UPDATE SET value = excluded.value");
  statement.Bind(1, scope);
  statement.Bind(2, key);
  statement.Bind(3, json);
  return Done(statement, error);
}

bool ServiceStore::Erase(std::string_view scope, std::string_view key, std::string& error) {
  Statement statement(db_, "DELETE FROM value_store WHERE scope = ?1 AND key = ?2");
  statement.Bind(1, scope);
  statement.Bind(2, key);
  return Done(statement, error);
}

std::optional<CloudCopy> ServiceStore::GetCloud(uint64_t account_id, std::string_view pp_type) {
  Statement statement(db_,
                      "SELECT data, modified FROM cloud WHERE account_id = ?1 AND pp_type = ?2");
  statement.Bind(1, account_id);
  statement.Bind(2, pp_type);
  if (statement.Step() != SQLITE_ROW) return std::nullopt;
  return CloudCopy{statement.Text(0), statement.Number(1)};
}

bool ServiceStore::PutCloud(uint64_t account_id, std::string_view pp_type, const CloudCopy& copy,
                            std::string& error) {
  Statement statement(db_,
                      "INSERT INTO cloud(account_id, pp_type, data, modified)"
                      " VALUES(?1, ?2, ?3, ?4) ON CONFLICT(account_id, pp_type)"
                      " DO UPDATE SET data = excluded.data, modified = excluded.modified");
  statement.Bind(1, account_id);
  statement.Bind(2, pp_type);
  statement.Bind(3, copy.data);
  statement.Bind(4, copy.modified);
  return Done(statement, error);
}

}  // namespace Varn::Host

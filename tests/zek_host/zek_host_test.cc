// zek-host end to end: the real binary on a temporary install directory, driven over HTTP.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <thread>

#include "binding/base64.h"
#include "binding/binding_property.h"
#include "binding/json_reader.h"
#include "host_process.h"

namespace Varn::Host::test {
namespace {

constexpr const char* kJson = "application/json";
const std::string kEchoPlugin = ZEK_ECHO_LIBRARY;
const std::string kSettingsPlugin = ZEK_SETTINGS_LIBRARY;

BindingProperty Json(const std::string& text) {
  BindingResult parsed = ParseJson(text);
  return parsed.IsOk() ? parsed.value : BindingProperty();
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A raw socket to the host, for what a client library would not send.
class RawConnection {
 public:
  explicit RawConnection(int port, int receive_buffer = 0) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    if (receive_buffer > 0) {
      setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    timeval timeout{10, 0};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  }
  ~RawConnection() { close(fd_); }
  bool Connected() const { return connected_; }
  void Send(const std::string& text) { (void)!write(fd_, text.data(), text.size()); }
  // Reads one answer: its head and as many body bytes as its Content-Length says (or until the
  // peer closes, or the time-out).
  std::string Receive() {
    std::string out;
    char buffer[4096];
    for (;;) {
      size_t head = out.find("\r\n\r\n");
      if (head != std::string::npos) {
        size_t length_at = out.find("Content-Length: ");
        size_t length = length_at < head ? std::stoul(out.substr(length_at + 16)) : 0;
        if (out.size() >= head + 4 + length) break;
      }
      ssize_t n = read(fd_, buffer, sizeof buffer);
      if (n <= 0) break;
      out.append(buffer, static_cast<size_t>(n));
    }
    return out;
  }
  // True when the peer closed the connection (after whatever it still had to send).
  bool ClosedByPeer() {
    char buffer[65536];
    for (;;) {
      ssize_t n = read(fd_, buffer, sizeof buffer);
      if (n == 0) return true;
      if (n < 0) return false;
    }
  }

 private:
  int fd_ = -1;
  bool connected_ = false;
};

class ZekHostTest : public ::testing::Test {
 protected:
  std::filesystem::path Install() const { return dir_.Path() / "data"; }

  std::unique_ptr<HostProcess> StartHost(std::vector<std::string> args = {}) {
    auto host = std::make_unique<HostProcess>(Install(), std::move(args));
    EXPECT_FALSE(host->Failed()) << host->Output();
    return host;
  }

  TempDir dir_;
};

// ---- Security ---------------------------------------------------------------------------------

TEST_F(ZekHostTest, RefusesRequestsWithoutTheTokenOrTheRightHost) {
  auto host = StartHost();
  ASSERT_FALSE(host->Failed());
  std::string port = std::to_string(host->Port());
  std::string good = "Basic " + Base64Encode("zek:" + host->Token());
  struct Case {
    const char* name;
    std::string authorization;
    std::string host_header;
    int status;
  };
  const Case cases[] = {
      {"no credentials", "", "127.0.0.1:" + port, 401},
      {"wrong token", "Basic " + Base64Encode("zek:" + std::string(32, '0')), "127.0.0.1:" + port,
       401},
      {"wrong user", "Basic " + Base64Encode("root:" + host->Token()), "127.0.0.1:" + port, 401},
      {"token with a tail", good + "AA", "127.0.0.1:" + port, 401},
      {"another scheme", "Bearer " + host->Token(), "127.0.0.1:" + port, 401},
      {"foreign host", good, "evil.example:" + port, 403},
      {"right name, other port", good, "127.0.0.1:1", 403},
      {"no port", good, "localhost", 403},
      {"by address", good, "127.0.0.1:" + port, 200},
      {"by name", good, "localhost:" + port, 200},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    httplib::Client client("127.0.0.1", host->Port());
    httplib::Headers headers{{"Host", c.host_header}, {"Origin", "http://evil.example"}};
    if (!c.authorization.empty()) headers.emplace("Authorization", c.authorization);
    auto res = client.Get("/help", headers);
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, c.status);
    for (const auto& [name, value] : res->headers) {
      EXPECT_NE(name.rfind("Access-Control-", 0), 0u) << name;
    }
    if (c.status == 401) {
      EXPECT_EQ(res->get_header_value("WWW-Authenticate"), "Basic realm=\"zek-host\"");
    }
    if (c.status != 200) {
      BindingProperty body = Json(res->body);
      EXPECT_EQ(body.Find("httpStatus").GetUnsigned(), static_cast<uint64_t>(c.status));
      EXPECT_FALSE(body.Find("message").GetString().empty());
    }
  }
}

TEST_F(ZekHostTest, RefusesTooLargeBodiesBeforeReadingThem) {
  auto host = StartHost({"--max-body", "1024"});
  ASSERT_FALSE(host->Failed());
  auto client = host->Client();
  auto small = client->Post("/telemetry/v1/events/small", std::string(1000, ' ') + "{}", kJson);
  ASSERT_TRUE(small);
  EXPECT_EQ(small->status, 204);
  auto large = client->Post("/telemetry/v1/events/large", std::string(2048, ' ') + "{}", kJson);
  ASSERT_TRUE(large);
  EXPECT_EQ(large->status, 413);
  EXPECT_EQ(Json(large->body).Find("httpStatus").GetUnsigned(), 413u);

  // A gigabyte is announced and never sent: the answer comes all the same.
  RawConnection raw(host->Port());
  ASSERT_TRUE(raw.Connected());
  raw.Send(
      "POST /telemetry/v1/events/huge HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(host->Port()) +
      "\r\nAuthorization: Basic " + Base64Encode("zek:" + host->Token()) +
      "\r\nContent-Type: application/json\r\nContent-Length: 1073741824\r\n\r\n{");
  std::string answer = raw.Receive();
  EXPECT_EQ(answer.rfind("HTTP/1.1 413", 0), 0u) << answer;

  // A chunked body has no length to refuse up front; it is cut off at the limit.
  RawConnection chunked(host->Port());
  std::string chunk(1500, 'x');
  chunked.Send("POST /telemetry/v1/events/chunked HTTP/1.1\r\nHost: 127.0.0.1:" +
               std::to_string(host->Port()) + "\r\nAuthorization: Basic " +
               Base64Encode("zek:" + host->Token()) +
               "\r\nTransfer-Encoding: chunked\r\n\r\n5dc\r\n" + chunk + "\r\n0\r\n\r\n");
  answer = chunked.Receive();
  EXPECT_EQ(answer.rfind("HTTP/1.1 413", 0), 0u) << answer;
  EXPECT_TRUE(std::filesystem::exists(Install() / "telemetry.jsonl"));
  EXPECT_EQ(ReadFile(Install() / "telemetry.jsonl").find("large"), std::string::npos);
}

TEST_F(ZekHostTest, LockfileNamesTheHostAndKeepsASecondOneOff) {
  auto host = StartHost();
  ASSERT_FALSE(host->Failed());
  std::filesystem::path lockfile = Install() / "lockfile";
  struct stat info {};
  ASSERT_EQ(stat(lockfile.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  Lockfile lock;
  ASSERT_TRUE(ReadLockfile(lockfile, lock));
  EXPECT_EQ(lock.pid, host->Pid());
  EXPECT_EQ(lock.token.size(), 32u);
  EXPECT_EQ(lock.token.find_first_not_of("0123456789abcdef"), std::string::npos);
  EXPECT_NE(host->Output().find(host->Token()), std::string::npos);

  // Also when it asks for the first one's port, which it could not have.
  for (const std::string& port : {std::string("0"), std::to_string(host->Port())}) {
    SCOPED_TRACE(port);
    std::string output;
    EXPECT_EQ(RunHostToEnd({"--install-dir", Install().string(), "--port", port}, output), 1);
    EXPECT_NE(output.find("another zek-host (pid " + std::to_string(host->Pid()) + ")"),
              std::string::npos)
        << output;
  }
  auto res = host->Client()->Get("/help");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);

  EXPECT_EQ(host->Stop(SIGTERM), 0);
  EXPECT_FALSE(std::filesystem::exists(lockfile));
}

TEST_F(ZekHostTest, ReplacesTheLockfileOfAHostThatDied) {
  pid_t dead = fork();
  if (dead == 0) _exit(0);
  waitpid(dead, nullptr, 0);
  std::filesystem::create_directories(Install());
  std::ofstream(Install() / "lockfile")
      << "zek-host:" << dead << ":1:00000000000000000000000000000000:http\n";
  auto host = StartHost();
  ASSERT_FALSE(host->Failed());
  Lockfile lock;
  ASSERT_TRUE(ReadLockfile(Install() / "lockfile", lock));
  EXPECT_EQ(lock.pid, host->Pid());
  EXPECT_EQ(host->Stop(SIGINT), 0);
}

TEST_F(ZekHostTest, BadOptionsAreOneLineAndStatusTwo) {
  const std::vector<std::vector<std::string>> cases = {
      {"--port", "70000"}, {"--port"},         {"--max-body", "0"}, {"--max-body=lots"},
      {"--frobnicate"},    {"plain-argument"}, {"--install-dir="},  {"--plugin"},
  };
  for (const auto& args : cases) {
    SCOPED_TRACE(args[0]);
    std::string output;
    EXPECT_EQ(RunHostToEnd(args, output), 2);
    EXPECT_EQ(output.rfind("zek-host: ", 0), 0u) << output;
    EXPECT_EQ(output.find('\n'), output.size() - 1) << output;
  }
  std::string output;
  EXPECT_EQ(RunHostToEnd({"--help"}, output), 0);
  EXPECT_NE(output.find("--install-dir"), std::string::npos);
  EXPECT_EQ(RunHostToEnd({"--version"}, output), 0);
  EXPECT_EQ(output.rfind("zek-host ", 0), 0u);
}

// ---- HTTP mapping -------------------------------------------------------------------------------

TEST_F(ZekHostTest, HandsRequestsToPluginsUnchangedAndMapsTheirAnswers) {
  auto host = StartHost({"--plugin", kEchoPlugin});
  ASSERT_FALSE(host->Failed());
  auto client = host->Client();
  auto echo =
      client->Put("/echo/v1/request/a%20b/c?x=1&y=%2F", httplib::Headers{{"X-Echo", "hello"}},
                  "some: yaml\n", "application/x-yaml");
  ASSERT_TRUE(echo);
  // The echo route answers only GET; PUT falls through to no function at all.
  EXPECT_EQ(echo->status, 404);
  echo = client->Get("/echo/v1/request/a%20b/c?x=1&y=%2F", httplib::Headers{{"X-Echo", "hello"}});
  ASSERT_TRUE(echo);
  EXPECT_EQ(echo->status, 200);
  EXPECT_EQ(echo->get_header_value("Content-Type"), kJson);
  BindingProperty seen = Json(echo->body);
  EXPECT_EQ(seen.Find("path").GetString(), "/echo/v1/request/a%20b/c?x=1&y=%2F");
  EXPECT_EQ(seen.Find("method").GetString(), std::to_string(PLUGIN_METHOD_GET));
  EXPECT_EQ(seen.Find("header").GetString(), "hello");

  struct Case {
    const char* method;
    const char* path;
    int status;
    const char* message;
  };
  const Case cases[] = {
      {"PUT", "/echo/v1/record/7", 204, nullptr},
      {"GET", "/echo/v1/fail", 400, "echo failed as asked"},
      {"GET", "/echo/v1/teapot", 418, "I'm a teapot"},
      {"GET", "/no/such/path", 404, nullptr},
      {"DELETE", "/echo/v1/fail", 404, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.method) + " " + c.path);
    httplib::Request request;
    request.method = c.method;
    request.path = c.path;
    if (std::string(c.method) == "PUT") request.body = "{\"schemaVersion\":1,\"data\":{}}";
    request.set_header("Content-Type", kJson);
    auto res = client->send(request);
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, c.status);
    if (c.status == 204) {
      EXPECT_TRUE(res->body.empty());
    }
    if (c.status >= 400) {
      BindingProperty body = Json(res->body);
      EXPECT_EQ(body.Find("httpStatus").GetUnsigned(), static_cast<uint64_t>(c.status));
      if (c.message != nullptr) {
        EXPECT_EQ(body.Find("message").GetString(), c.message);
      }
    }
  }
  auto help = client->Get("/help");
  ASSERT_TRUE(help);
  EXPECT_NE(help->body.find("GetEchoV1RequestByRest"), std::string::npos);
}

TEST_F(ZekHostTest, OpenApiDocumentDescribesEveryPathAndValidates) {
  auto host = StartHost({"--plugin", kSettingsPlugin, "--plugin", kEchoPlugin});
  ASSERT_FALSE(host->Failed());
  auto res = host->Client()->Get("/openapi.json");
  ASSERT_TRUE(res);
  ASSERT_EQ(res->status, 200);
  BindingProperty doc = Json(res->body);
  EXPECT_EQ(doc.Find("openapi").GetString(), "3.1.0");
  const BindingProperty& paths = doc.Find("paths");
  const BindingProperty& put = paths.Find("/echo/v1/record/{id}").Find("put");
  EXPECT_EQ(put.Find("parameters").At(0).Find("name").GetString(), "id");
  EXPECT_EQ(
      put.Find("requestBody").Find("content").Find(kJson).Find("schema").Find("$ref").GetString(),
      "#/components/schemas/EchoRecord");
  const BindingProperty& record = doc.Find("components").Find("schemas").Find("EchoRecord");
  EXPECT_EQ(record.Find("properties").Find("schemaVersion").Find("format").GetString(), "int32");
  EXPECT_TRUE(paths.Find("/echo/v1/request/{rest}").TryFind("get") != nullptr);
  for (const char* path : {"/events", "/help", "/zek-login/v1/session", "/host/v1/faults",
                           "/host/v1/cloud/{accountId}/{ppType}"}) {
    EXPECT_TRUE(paths.TryFind(path) != nullptr) << path;
  }
  // Once the settings service serves its routes, they and their record are there too.
  if (paths.TryFind("/zek-settings/v2/account/{ppType}/{category}") != nullptr) {
    const BindingProperty& category =
        doc.Find("components").Find("schemas").Find("SettingCategory");
    EXPECT_EQ(category.Find("properties").Find("schemaVersion").Find("type").GetString(),
              "integer");
    EXPECT_EQ(category.Find("properties").Find("schemaVersion").Find("format").GetString(),
              "int32");
    EXPECT_TRUE(category.Find("properties").TryFind("data") != nullptr);
  }

  if (std::system("openapi-spec-validator --help > /dev/null 2>&1") != 0) {
    GTEST_SKIP() << "openapi-spec-validator is not installed (see scripts/setup.sh)";
  }
  std::filesystem::path file = dir_.Path() / "openapi.json";
  std::ofstream(file) << res->body;
  std::string command = "openapi-spec-validator " + file.string() + " > " +
                        (dir_.Path() / "validator.txt").string() + " 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0) << ReadFile(dir_.Path() / "validator.txt");
}

// ---- Stand-in services --------------------------------------------------------------------------

TEST_F(ZekHostTest, LoginSessionAndReadinessPublishTheirEvents) {
  auto host = StartHost();
  ASSERT_FALSE(host->Failed());
  auto client = host->Client();
  EventReader login(*host, "?prefix=/zek-login/");
  ASSERT_TRUE(login.Connected());
  EventReader all(*host);

  auto res = client->Get("/zek-login/v1/session");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 404);
  const char* session = R"({"state": "SUCCEEDED", "profileId": 7, "accountId": 42})";
  res = client->Put("/zek-login/v1/session", session, kJson);
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  EXPECT_TRUE(login.WaitFor({"\"eventType\":\"Create\"", "\"accountId\":42",
                             "\"state\":\"SUCCEEDED\"", "\"uri\":\"/zek-login/v1/session\"",
                             "\"name\":\"OnJsonApiEvent_zek-login_v1_session\""}));
  res = client->Put("/zek-login/v1/session", R"({"state": "LOGGING_OUT", "accountId": 42})", kJson);
  ASSERT_TRUE(res);
  EXPECT_TRUE(login.WaitFor({"\"eventType\":\"Update\"", "LOGGING_OUT"}));
  res = client->Delete("/zek-login/v1/session");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 204);
  EXPECT_TRUE(login.WaitFor({"\"eventType\":\"Delete\"", "\"accountId\":42"}));
  res = client->Get("/zek-login/v1/session");
  EXPECT_EQ(res->status, 404);

  res = client->Put("/zek-player-preferences/v1/player-preferences-ready", "true", kJson);
  ASSERT_TRUE(res);
  EXPECT_EQ(res->body, "true");
  EXPECT_TRUE(
      all.WaitFor({"player-preferences-ready", "\"eventType\":\"Update\"", "\"data\":true"}));
  for (const std::string& line : login.Lines()) {
    EXPECT_EQ(line.find("player-preferences-ready"), std::string::npos) << line;
  }
  // Each event once, though publishers also send it under the catch-all name.
  size_t creates = 0;
  for (const std::string& line : all.Lines()) {
    creates += line.find("\"eventType\":\"Create\"") != std::string::npos ? 1 : 0;
  }
  EXPECT_EQ(creates, 1u);

  struct Bad {
    const char* path;
    const char* body;
    const char* content_type;
    int status;
  };
  const Bad bad[] = {
      {"/zek-login/v1/session", R"({"state": "DANCING"})", kJson, 400},
      {"/zek-login/v1/session", R"({"state": "SUCCEEDED", "accountId": -1})", kJson, 400},
      {"/zek-login/v1/session", "{", kJson, 400},
      {"/zek-login/v1/session", "state=SUCCEEDED", "application/x-www-form-urlencoded", 415},
      {"/zek-player-preferences/v1/player-preferences-ready", "\"yes\"", kJson, 400},
      {"/zek-platform-config/v1/namespaces/QevSettings", "[1]", kJson, 400},
  };
  for (const Bad& b : bad) {
    SCOPED_TRACE(b.body);
    res = client->Put(b.path, b.body, b.content_type);
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, b.status);
    EXPECT_FALSE(Json(res->body).Find("message").GetString().empty());
  }
}

TEST_F(ZekHostTest, PlayerPreferencesCloudKeepsCopiesPerAccount) {
  auto host = StartHost();
  ASSERT_FALSE(host->Failed());
  auto client = host->Client();
  const std::string text = "settings:\r\n  data: 1\r\n";
  auto res = client->Put("/host/v1/cloud/42/QEVPreferences",
                         "{\"data\": \"settings:\\r\\n  data: 1\\r\\n\"}", kJson);
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  uint64_t seeded = Json(res->body).Find("modified").GetUnsigned();
  EXPECT_GT(seeded, 1700000000000u);

  // Nobody logged in: the service cannot tell whose copy is asked for.
  res = client->Get("/zek-player-preferences/v1/preference/QEVPreferences");
  EXPECT_EQ(res->status, 401);
  client->Put("/zek-login/v1/session", R"({"state": "SUCCEEDED", "profileId": 7, "accountId": 42})",
              kJson);

  res = client->Post("/zek-player-preferences/v1/hash", "\"" + std::string("abc") + "\"", kJson);
  ASSERT_TRUE(res);
  EXPECT_EQ(Json(res->body).GetString(),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  res =
      client->Post("/zek-player-preferences/v1/hash", "\"settings:\\r\\n  data: 1\\r\\n\"", kJson);
  std::string hash(Json(res->body).GetString());

  struct Case {
    std::string path;
    int status;
  };
  const Case cases[] = {
      {"/zek-player-preferences/v1/preference/QEVPreferences?hash=" + hash, 304},
      {"/zek-player-preferences/v1/preference/QEVPreferences?hash=0", 200},
      {"/zek-player-preferences/v1/preference/QEVPreferences", 200},
      {"/zek-player-preferences/v1/preference/PerksPreferences", 404},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    res = client->Get(c.path);
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, c.status);
    if (c.status == 200) {
      EXPECT_EQ(Json(res->body).Find("data").GetString(), text);
      EXPECT_EQ(Json(res->body).Find("modified").GetUnsigned(), seeded);
    }
  }
  res = client->Put("/zek-player-preferences/v1/preference",
                    R"({"data": "new", "type": "QEVPreferences", "version": "1.0"})", kJson);
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  EXPECT_GT(Json(res->body).Find("modified").GetUnsigned(), seeded);
  res = client->Get("/host/v1/cloud/42/QEVPreferences");
  EXPECT_EQ(Json(res->body).Find("data").GetString(), "new");
  res = client->Get("/host/v1/cloud/43/QEVPreferences");
  EXPECT_EQ(res->status, 404);

  res = client->Put("/host/v1/faults", R"({"player-preferences": "down"})", kJson);
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  for (const char* path : {"/zek-player-preferences/v1/hash",
                           "/zek-player-preferences/v1/preference/QEVPreferences"}) {
    res = std::string(path).find("hash") != std::string::npos ? client->Post(path, "\"x\"", kJson)
                                                              : client->Get(path);
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 503) << path;
    EXPECT_NE(Json(res->body).Find("message").GetString().find("down"), std::string_view::npos);
  }
  res = client->Put("/host/v1/faults", R"({"player-preferences": "sideways"})", kJson);
  EXPECT_EQ(res->status, 400);
}

TEST_F(ZekHostTest, ServicesKeepTheirStateAcrossARestart) {
  {
    auto host = StartHost();
    ASSERT_FALSE(host->Failed());
    auto client = host->Client();
    EXPECT_EQ(client->Get("/data-store/v1/install-settings/qev-settings")->status, 404);
    EXPECT_EQ(
        client
            ->Post("/data-store/v1/install-settings/qev-settings",
                   R"({"accountId": 42, "timestamp": 1796900000000, "modified": true})", kJson)
            ->status,
        204);
    client->Put("/zek-login/v1/session",
                R"({"state": "SUCCEEDED", "profileId": 7, "accountId": 42})", kJson);
    client->Put("/host/v1/cloud/42/PerksPreferences", R"({"data": "perks"})", kJson);
    client->Patch("/zek-game-settings/v1/input-settings", R"({"keys": {"jump": "space"}})", kJson);
    client->Patch("/zek-game-settings/v1/input-settings", R"({"keys": {"duck": "c"}})", kJson);
    EXPECT_EQ(client
                  ->Post("/telemetry/v1/events/qev__preferences__event",
                         R"({"event_name": "load_qev_preferences_succeeded_local"})", kJson)
                  ->status,
              204);
    EXPECT_EQ(host->Stop(SIGTERM), 0);
  }
  auto host = StartHost({"--account-preferences-file-path=/x.yaml"});
  ASSERT_FALSE(host->Failed());
  auto client = host->Client();
  BindingProperty owner = Json(client->Get("/data-store/v1/install-settings/qev-settings")->body);
  EXPECT_EQ(owner.Find("accountId").GetUnsigned(), 42u);
  EXPECT_EQ(owner.Find("timestamp").GetType(), BindingPropertyType::Unsigned);
  EXPECT_EQ(owner.Find("timestamp").GetUnsigned(), 1796900000000u);
  EXPECT_TRUE(owner.Find("modified").GetBool());
  EXPECT_EQ(Json(client->Get("/zek-login/v1/session")->body).Find("accountId").GetUnsigned(), 42u);
  EXPECT_EQ(Json(client->Get("/host/v1/cloud/42/PerksPreferences")->body).Find("data").GetString(),
            "perks");
  EXPECT_EQ(client->Get("/zek-game-settings/v1/input-settings")->body,
            R"({"keys":{"duck":"c","jump":"space"}})");
  EXPECT_EQ(client->Get("/varnclient/command-line-args")->body,
            R"(["--account-preferences-file-path=/x.yaml"])");
  EXPECT_EQ(Json(client->Get("/data-store/v1/install-dir")->body).GetString(),
            std::filesystem::canonical(Install()).string());
  EXPECT_EQ(Json(client->Get("/zek-platform-config/v1/namespaces/QevSettings")->body)
                .Find("UploadRateLimit")
                .GetFloat(),
            5.0);
  std::string telemetry = ReadFile(Install() / "telemetry.jsonl");
  EXPECT_NE(telemetry.find("\"event_name\":\"load_qev_preferences_succeeded_local\""),
            std::string::npos)
      << telemetry;
  EXPECT_NE(ReadFile(Install() / "zek-host.log").find("stopping on SIGTERM"), std::string::npos);
}

TEST_F(ZekHostTest, DropsAReaderThatFallsTooFarBehind) {
  auto host = StartHost();
  ASSERT_FALSE(host->Failed());
  RawConnection stuck(host->Port(), 4096);
  ASSERT_TRUE(stuck.Connected());
  stuck.Send("GET /events HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(host->Port()) +
             "\r\nAuthorization: Basic " + Base64Encode("zek:" + host->Token()) + "\r\n\r\n");
  EventReader live(*host);
  auto client = host->Client();
  std::string filler(12000, 'x');
  // The stuck reader reads nothing; the host keeps answering while its queue fills.
  for (int i = 0; i < 1200; ++i) {
    auto res = client->Put("/zek-platform-config/v1/namespaces/QevSettings",
                           "{\"UploadRateLimit\": 5.0, \"n\": " + std::to_string(i) +
                               ", \"filler\": \"" + filler + "\"}",
                           kJson);
    ASSERT_TRUE(res);
    ASSERT_EQ(res->status, 200);
  }
  EXPECT_TRUE(live.WaitFor({"\"n\":1199"}));
  EXPECT_TRUE(stuck.ClosedByPeer());
}

}  // namespace
}  // namespace Varn::Host::test

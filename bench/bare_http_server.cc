// The peer of zek-host's GET benchmark: a bare cpp-httplib server on 127.0.0.1 that answers
// every GET with the same 60-byte JSON body. Its server settings (worker threads, keep-alive,
// TCP_NODELAY) are zek-host's, so the comparison shows what the host adds: the checks, the hop to
// the host thread, the plugin's routing and the rendering. Prints its port; stops on SIGINT or
// SIGTERM. Usage: bare_http_server [PORT]
#include <httplib.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

// 60 bytes: a small category record, the size of the one zek-host answers in the benchmark.
constexpr char kBody[] = R"({"data":{"quality":"high","volume":7.125},"schemaVersion":1})";
static_assert(sizeof kBody - 1 == 60);

}  // namespace

int main(int argc, char** argv) {
  int port = argc > 1 ? std::atoi(argv[1]) : 0;
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);

  httplib::Server server;
  server.new_task_queue = [] { return new httplib::ThreadPool(64); };
  server.set_tcp_nodelay(true);
  server.set_keep_alive_timeout(5);
  server.set_keep_alive_max_count(1000000);
  server.Get("/.*", [](const httplib::Request&, httplib::Response& res) {
    res.set_content(kBody, sizeof kBody - 1, "application/json");
  });
  if (port == 0) {
    port = server.bind_to_any_port("127.0.0.1");
  } else if (!server.bind_to_port("127.0.0.1", port)) {
    port = -1;
  }
  if (port <= 0) {
    std::fprintf(stderr, "bare_http_server: cannot listen\n");
    return 1;
  }
  std::printf("%d\n", port);
  std::fflush(stdout);
  std::thread serving([&] { server.listen_after_bind(); });
  int signal_number = 0;
  sigwait(&stop, &signal_number);
  server.stop();
  serving.join();
  return 0;
}

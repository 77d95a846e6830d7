// A terminal's requests while --max-connections idle sockets are open (connected, nothing sent):
// each idle socket holds a connection thread, so without giving way the terminal's connection
// would wait in line until idle ones reach the request time limit. Prints the terminal's query
// and script times with no idle sockets and with N.
//
//   idle_connections_bench [--idle 2000] [--requests 20]

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>
#include <vector>

#include "headoffice/generators/seeder.h"
#include "headoffice/service.h"
#include "headoffice/storage/database_url.h"
#include "headoffice/transport/listening.h"
#include "tests/headoffice/terminal_client.h"
#include "tests/support/temp_folder.h"

namespace ho = pos::headoffice;
using Clock = std::chrono::steady_clock;

namespace {

double ms_since(Clock::time_point t) { return std::chrono::duration<double, std::milli>(Clock::now() - t).count(); }

int idle_socket(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    std::perror("connect");
    std::exit(1);
  }
  return fd;
}

// The slowest and the median of `n` requests, half queries and half scripts.
void measure(const char* label, int port, int n) {
  const pos::test::TerminalClient terminal(port, "SYSDBA", "quillbark");
  std::vector<double> times;
  int failed = 0;
  for (int i = 0; i < n; ++i) {
    const auto t = Clock::now();
    const auto r = i % 2 ? terminal.query("SELECT * FROM MCH_ITEM WHERE MCH_NO = '001' ")
                         : terminal.script("UPDATE MCH_ITEM SET MCH_NO = MCH_NO WHERE MCH_NO = '001' ;\r\n");
    times.push_back(ms_since(t));
    failed += r.status != 200 || r.body.starts_with("<RESULT>");
  }
  std::sort(times.begin(), times.end());
  std::printf("%-28s median %8.2f ms, slowest %8.2f ms%s\n", label, times[times.size() / 2], times.back(),
              failed ? " (requests FAILED)" : "");
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"a terminal's requests while idle connections fill the service"};
  int idle = 2000, requests = 20;
  app.add_option("--idle", idle, "idle sockets, also the service's --max-connections");
  app.add_option("--requests", requests, "terminal requests measured each way");
  CLI11_PARSE(app, argc, argv);
  ho::raise_open_file_limit();

  pos::testing::TempFolder folder("ho-idle-bench");
  const std::string url = "sqlite:" + (folder / "ho.db").string();
  {
    auto c = ho::open_database(url)->connect();
    ho::SeedOptions seed = ho::scale_options("small");
    seed.today = "2024/05/31";
    ho::seed_database(*c, seed);
  }
  ho::ServiceOptions options;
  options.user = "SYSDBA";
  options.password = "quillbark";
  options.any_statement = true;
  options.max_connections = idle;
  ho::Service service(ho::open_database(url), options);
  const int port = service.bind("127.0.0.1", 0);
  std::thread serving([&] { service.run(); });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));

  measure("no idle sockets", port, requests);
  std::vector<int> sockets;
  for (int i = 0; i < idle; ++i) sockets.push_back(idle_socket(port));
  std::this_thread::sleep_for(std::chrono::seconds(1));  // every one has its thread
  char label[64];
  std::snprintf(label, sizeof label, "%d idle sockets", idle);
  measure(label, port, requests);

  for (int fd : sockets) ::close(fd);
  service.stop();
  serving.join();
  return 0;
}

#pragma once
// The HTTP service: POST /Vark/<driver>/index.php (query endpoint) and
// POST /Vark/<driver>/sql_scripts.php (script endpoint) for any driver segment; for viewers
// GET /status and /status.json (the fleet's status) and GET /metrics (for Prometheus), with basic
// authentication; for load balancers GET /health (200 while the database answers, no credentials).

#include <chrono>
#include <cstddef>
#include <memory>
#include <ostream>
#include <string>

#include "headoffice/fault_plan.h"
#include "headoffice/storage/database.h"

namespace pos::headoffice {

struct ServiceOptions {
  // The one credential of every terminal, for fleets set up before each terminal had its own;
  // both empty: only the credentials head office issued sign in.
  std::string user;
  std::string password;
  int threads = 8;  // database connections open at once; more requests wait for one
  // Of them, held by one credential at once (the shared one: per client address); 0: a quarter
  // of `threads`, at least 1.
  int per_credential = 0;
  // Runs any statement of an allowed kind for a signed-in client, as before the catalogue.
  bool any_statement = false;
  std::size_t max_body = 8u << 20;  // bytes; larger requests get 413
  // Longest time a client may take to send one request (line, headers and body); a later one gets
  // 408 and its connection is closed.
  std::chrono::milliseconds request_timeout{30'000};
  // Longest time a request's line and headers may take to arrive whole, from its first byte (the
  // connection's start, for its first request); a later one gets 408.
  std::chrono::milliseconds head_timeout{5'000};
  // Connections served at once, each on its own thread; more wait until one ends.
  int max_connections = 2000;
  // A statement running longer is cancelled and answered with an error; zero: no limit.
  std::chrono::milliseconds statement_timeout{60'000};
  // The address of a load balancer in front: for its requests, the client is the last address
  // of their X-Forwarded-For header. Empty: every client is the address it connects from.
  std::string trusted_proxy;
  // The status page calls a terminal silent, or behind, after this long without a request, or
  // with an entry waiting.
  std::chrono::seconds silent_after{1800};
  // HTTPS with this certificate chain and private key (PEM files) when both are set; HTTP otherwise.
  std::string cert_file;
  std::string key_file;
  std::ostream* log = nullptr;  // one line per request; none when null
  // One line per statement refused (the client, who signed in, the statement's first words).
  std::ostream* refusal_log = nullptr;
  // One line per statement received, in arrival order: "query" or "script", a tab, and the text
  // as it arrived (CR, LF and backslash written as \r, \n and \\); none when null.
  std::ostream* statement_log = nullptr;
  FaultPlan* faults = nullptr;  // requests answered wrongly on purpose; none when null
};

class Service {
 public:
  Service(std::unique_ptr<Database> db, ServiceOptions options);
  ~Service();
  Service(const Service&) = delete;
  Service& operator=(const Service&) = delete;

  // Binds the listening socket; port 0 takes a free port. Returns the port. Throws on failure,
  // also when another process listens on the port.
  int bind(const std::string& host, int port);

  // Serves until stop(); returns false when listening failed.
  bool run();

  // Safe from any thread.
  void stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace pos::headoffice

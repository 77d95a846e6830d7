// The service under rough traffic: idle and slow clients, a thousand connections at once, a
// bounded set of database connections, and HTTPS for the terminal's own client.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <latch>
#include <sstream>
#include <thread>

#include "headoffice/answer_encoding.h"
#include "headoffice/service.h"
#include "headoffice/storage/connection_pool.h"
#include "headoffice/storage/database_url.h"
#include "headoffice/transport/certificate_check.h"
#include "headoffice/transport/listening.h"
#include "packet/row_set.h"
#include "service/data_mod_http.h"
#include "tests/headoffice/running_service.h"
#include "tests/headoffice/terminal_client.h"
#include "tests/headoffice/test_databases.h"
#include "tests/support/process.h"
#include "tests/support/temp_folder.h"

namespace pos::test {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

double ms_since(Clock::time_point t) { return std::chrono::duration<double, std::milli>(Clock::now() - t).count(); }

// A statement the promotions job sends: it changes no count.
constexpr const char* kMarkDeleted =
    "UPDATE PSALE_TEMP SET TRAN_CODE = 'W' WHERE MCH_NO = '001' AND STATE = 'DELETE' ;\r\n";

// A raw client connection to the service on 127.0.0.1.
class RawClient {
 public:
  explicit RawClient(int port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = fd_ >= 0 && ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  }
  ~RawClient() {
    if (fd_ >= 0) ::close(fd_);
  }
  RawClient(const RawClient&) = delete;
  RawClient& operator=(const RawClient&) = delete;

  bool connected() const { return connected_; }
  bool send(std::string_view bytes) {
    return connected_ && ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
  }
  // The status of the answer that arrives by `until`; 0 when none does (or the connection ends bare).
  int status_by(Clock::time_point until) {
    std::string got;
    char buf[4096];
    while (got.find("\r\n") == std::string::npos) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
      pollfd p{fd_, POLLIN, 0};
      if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0) return 0;
      const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
      if (n <= 0) return 0;
      got.append(buf, static_cast<std::size_t>(n));
    }
    int status = 0;
    std::sscanf(got.c_str(), "HTTP/%*s %d", &status);
    return status;
  }
  // Everything that arrives until the service closes the connection, or until `until`.
  std::string until_closed(Clock::time_point until) {
    std::string got;
    char buf[4096];
    for (;;) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
      pollfd p{fd_, POLLIN, 0};
      if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0) return got;
      const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
      if (n <= 0) return got;
      got.append(buf, static_cast<std::size_t>(n));
    }
  }

 private:
  int fd_;
  bool connected_ = false;
};

class ServiceSafetyTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { headoffice::raise_open_file_limit(); }
  void SetUp() override { url_ = fixture_database_url("safety"); }
  std::int64_t count(const std::string& sql) {
    auto c = headoffice::open_database(url_)->connect();
    return headoffice::query_value(*c, sql).integer();
  }
  std::string url_;
};

// 1,000 connections that never finish their request, and clients that send a byte now and then,
// while a terminal works: its requests stay fast, and the stragglers are cut off at the
// request time limit with 408, having changed nothing.
TEST_F(ServiceSafetyTest, IdleAndSlowClientsDoNotHoldUpATerminal) {
  constexpr int kIdle = 1000;
  auto options = RunningService::default_options();
  options.request_timeout = 3s;
  RunningService service(url_, options);
  const TerminalClient terminal(service.port());
  const std::int64_t rows = count("SELECT COUNT(*) FROM PSALE_TEMP");

  const auto opened = Clock::now();
  std::vector<std::unique_ptr<RawClient>> idle;
  for (int i = 0; i < kIdle; ++i) {
    idle.push_back(std::make_unique<RawClient>(service.port()));
    ASSERT_TRUE(idle.back()->send("POST /Vark/ado/index.php HTTP/1.0\r\nContent-Type: multipart/form-da")) << i;
  }
  // Slow in the headers, and slow in the body after whole headers: a byte every 100 ms.
  const std::string script =
      multipart_request(terminal.script_target(), {{"sql", "DELETE FROM PSALE_TEMP WHERE MCH_NO = '001' ;\r\n"}});
  const std::size_t head = script.find("\r\n\r\n") + 4;
  RawClient slow_head(service.port()), slow_body(service.port());
  ASSERT_TRUE(slow_body.send(std::string_view(script).substr(0, head)));
  std::atomic<bool> trickling{true};
  std::thread trickle([&] {
    for (std::size_t at = 0; trickling && at < head; ++at) {
      slow_head.send(std::string_view(script).substr(at, 1));
      slow_body.send(std::string_view(script).substr(head + at, 1));
      std::this_thread::sleep_for(100ms);
    }
  });

  double worst = 0;
  for (int i = 0; i < 20; ++i) {
    const auto start = Clock::now();
    const HttpReply r =
        i % 2 ? terminal.query("SELECT * FROM MCH_ITEM WHERE MCH_NO = '001' ") : terminal.script(kMarkDeleted);
    worst = std::max(worst, ms_since(start));
    EXPECT_EQ(r.status, 200);
    EXPECT_FALSE(r.body.starts_with("<RESULT>")) << r.body;
  }
  std::printf("%d idle and 2 slow clients held; a terminal's slowest request took %.1f ms\n", kIdle, worst);
  EXPECT_LT(worst, 1000);

  const auto cut_by = opened + options.request_timeout + 3s;
  int late = 0;
  for (auto& c : idle) late += c->status_by(cut_by) == 408;
  EXPECT_EQ(late, kIdle);
  EXPECT_EQ(slow_head.status_by(cut_by), 408);
  EXPECT_EQ(slow_body.status_by(cut_by), 408);
  trickling = false;
  trickle.join();
  EXPECT_EQ(count("SELECT COUNT(*) FROM PSALE_TEMP"), rows);
}

// Requests beyond the limit wait for a connection that is given back; none more is opened.
TEST_F(ServiceSafetyTest, TheConnectionPoolNeverOpensMoreThanItsLimit) {
  auto db = headoffice::open_database(url_);
  headoffice::ConnectionPool pool(*db, 2);
  std::atomic<int> holding{0};
  std::latch release(1);
  std::vector<std::thread> borrowers;
  for (int i = 0; i < 3; ++i) {
    borrowers.emplace_back([&] {
      auto lease = pool.borrow();
      ++holding;
      release.wait();
    });
  }
  for (auto until = Clock::now() + 5s; holding < 2 && Clock::now() < until;) std::this_thread::sleep_for(5ms);
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(holding.load(), 2);
  EXPECT_EQ(pool.open_connections(), 2u);
  release.count_down();
  for (auto& b : borrowers) b.join();
  EXPECT_EQ(holding.load(), 3);
  EXPECT_EQ(pool.open_connections(), 2u);
}

struct RecordedBoxes : MessageBoxes {
  std::vector<std::string> shown;
  void show_message(const std::string& text) override { shown.push_back(text); }
};

// The terminal's client reaches the service over HTTPS when httpset.ini says so and trusts the
// service's certificate through cafile=; without it the unknown certificate is refused.
TEST_F(ServiceSafetyTest, TheTerminalsClientWorksOverHttps) {
  pos::testing::TempFolder tls("ho-tls"), home("ho-home");
  const auto cert = tls / "cert.pem", key = tls / "key.pem";
  const auto made = pos::testing::run_command(
      "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 "
      "-keyout " +
      key.string() + " -out " + cert.string());
  ASSERT_EQ(made.status, 0) << made.err;
  auto options = RunningService::default_options();
  options.cert_file = cert.string();
  options.key_file = key.string();
  RunningService service(url_, options);
  // The service warns at start of a certificate that has run out (here: three days on).
  const std::time_t now = std::time(nullptr);
  EXPECT_EQ(headoffice::certificate_warning(cert.string(), now), "");
  EXPECT_NE(headoffice::certificate_warning(cert.string(), now + 3 * 86400).find("expired on"), std::string::npos);

  auto ini = [&](const std::string& extra) {
    std::ofstream(home / "httpset.ini") << "[set]\r\nhost=127.0.0.1\r\nport=" << service.port()
                                        << "\r\nuser_name=001\r\npassword=" << terminal_password(kMachine)
                                        << "\r\nscheme=https\r\n"
                                        << extra;
  };
  RecordedBoxes boxes;
  ini("cafile=" + cert.string() + "\r\n");
  TDataModHttp trusting(home.path(), boxes);
  trusting.DataModuleCreate();
  RowSet rows;
  trusting.OpenRemoteQuery(rows, "select * from mch_item where mch_no = '001'");
  EXPECT_EQ(rows.row_count(), 1u);
  EXPECT_TRUE(
      trusting.PostSqlScript({"UPDATE PSALE_TEMP SET TRAN_CODE = 'W' WHERE MCH_NO = '001' AND STATE <> 'DELETE' ;"}));
  EXPECT_EQ(count("SELECT COUNT(*) FROM PSALE_TEMP WHERE TRAN_CODE = 'W'"), 1);
  EXPECT_TRUE(boxes.shown.empty());

  ini("");
  TDataModHttp doubting(home.path(), boxes);
  doubting.DataModuleCreate();
  EXPECT_THROW(doubting.OpenRemoteQuery(rows, "select * from mch_item"), SilentAbort);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_NE(boxes.shown[0].find("certificate"), std::string::npos) << boxes.shown[0];
  EXPECT_NE(boxes.shown[0].find("with cafile= in [set] of"), std::string::npos) << boxes.shown[0];
  // Plain HTTP to the HTTPS port gets no answer, and the service carries on; the terminal is told
  // to check its scheme.
  EXPECT_EQ(TerminalClient(service.port()).query("SELECT * FROM MCH_ITEM ").status, 0);
  std::ofstream(home / "httpset.ini") << "[set]\r\nhost=127.0.0.1\r\nport=" << service.port() << "\r\n";
  TDataModHttp plain(home.path(), boxes);
  plain.DataModuleCreate();
  EXPECT_THROW(plain.OpenRemoteQuery(rows, "select mch_no from mch_item"), SilentAbort);
  EXPECT_NE(boxes.shown.back().find("set scheme=https"), std::string::npos) << boxes.shown.back();
  EXPECT_EQ(
      trusting.ExecRemoteStatement("update gsale_temp set tran_code = 'W' where mch_no = '001' and state = 'DELETE'"),
      true);
}

// Answers over 64 KB go gzipped to a client whose Accept-Encoding lists gzip, and to no other;
// the terminal's client, asked to, decodes them back to the plain answer's bytes.
TEST_F(ServiceSafetyTest, LargeAnswersAreGzippedOnlyWhenAskedAndDecodeToThePlainAnswer) {
  auto options = RunningService::default_options();
  options.any_statement = true;
  RunningService service(url_, options);
  const TerminalClient raw(service.port());
  const std::string big = "SELECT * FROM PRODUCT ", small = "SELECT * FROM MCH_ITEM WHERE MCH_NO = '001' ";
  const HttpReply plain = raw.query(big);
  ASSERT_EQ(plain.status, 200);
  ASSERT_GT(plain.body.size(), headoffice::kCompressAbove);

  struct Case {
    const std::string& sql;
    const char* accept;
    bool gzipped;
  } cases[] = {{big, "gzip", true},
               {big, "x-gzip, deflate", true},
               {big, "deflate, GZIP;q=0.5", true},
               {big, "gzip;q=0", false},
               {big, "br", false},
               {big, "br, deflate", false},
               {small, "gzip", false}};
  for (const Case& c : cases) {
    const HttpReply reply = raw.query(c.sql, std::string("Accept-Encoding: ") + c.accept + "\r\n");
    SCOPED_TRACE(c.sql + c.accept);
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.headers.find("Content-Encoding: gzip") != std::string::npos, c.gzipped) << reply.headers;
    EXPECT_EQ(reply.body.starts_with("\x1f\x8b"), c.gzipped);
    if (c.gzipped) {
      EXPECT_LT(reply.body.size() * 4, plain.body.size());
    } else if (&c.sql == &big) {
      EXPECT_EQ(reply.body, plain.body);
    }
  }

  // httpset.ini's compress=1: the module's Result.txt and rows are those of the plain answer.
  pos::testing::TempFolder home("ho-gzip");
  RecordedBoxes boxes;
  for (const char* compress : {"0", "1"}) {
    std::ofstream(home / "httpset.ini") << "[set]\r\nhost=127.0.0.1\r\nport=" << service.port()
                                        << "\r\nuser_name=001\r\npassword=" << terminal_password(kMachine)
                                        << "\r\ncompress=" << compress << "\r\n";
    TDataModHttp module(home.path(), boxes);
    module.DataModuleCreate();
    RowSet rows;
    module.OpenRemoteQuery(rows, big);
    EXPECT_GT(rows.row_count(), 0u);
    std::ifstream result(module.ResultFile(), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(result), {}), plain.body + "\r\n");
    EXPECT_EQ(module.IdHTTP1.wire_bytes < plain.body.size(), compress == std::string("1"));
  }
  EXPECT_TRUE(boxes.shown.empty());
}

// A request answered before its body was read closes the connection: the body, however it is
// made, is never read and run as a request of its own (behind a balancer that reuses
// connections, its answer would go to the next client).
TEST_F(ServiceSafetyTest, ABodyLeftUnreadIsNeverServedAsTheNextRequest) {
  RunningService service(url_);
  const TerminalClient terminal(service.port());
  const std::string smuggled = multipart_request(terminal.script_target(), {{"sql", "DELETE FROM PSALE_TEMP ;\r\n"}});
  const std::string length = "Content-Length: " + std::to_string(smuggled.size()) + "\r\n\r\n";
  const std::int64_t rows = count("SELECT COUNT(*) FROM PSALE_TEMP");
  for (const std::string& attack :
       {"GET /Vark/ado/index.php HTTP/1.1\r\nHost: ho\r\n" + length + smuggled,
        "POST " + terminal.query_target() + " HTTP/1.1\r\nHost: ho\r\nContent-Type: multipart/form-data\r\n" + length +
            smuggled}) {
    RawClient client(service.port());
    ASSERT_TRUE(client.send(attack));
    const std::string answers = client.until_closed(Clock::now() + 10s);
    SCOPED_TRACE(attack.substr(0, 30));
    EXPECT_EQ(answers.find("HTTP/1.1 "), 0u) << answers;
    EXPECT_EQ(answers.find("HTTP/1.1 ", 1), std::string::npos) << answers;
    EXPECT_NE(answers.find("Connection: close"), std::string::npos) << answers;
  }
  EXPECT_EQ(count("SELECT COUNT(*) FROM PSALE_TEMP"), rows);
}

// With every connection place taken by sockets that have sent nothing, a terminal is still
// served: idle connections give way, while one that has begun its request keeps its place.
TEST_F(ServiceSafetyTest, IdleConnectionsGiveWayToATerminal) {
  auto options = RunningService::default_options();
  options.max_connections = 20;
  options.request_timeout = 60s;  // longer than the terminal waits below
  RunningService service(url_, options);
  const TerminalClient terminal(service.port());
  const std::string script = multipart_request(terminal.script_target(), {{"sql", kMarkDeleted}});
  RawClient begun(service.port());
  ASSERT_TRUE(begun.send(script.substr(0, 30)));
  std::vector<std::unique_ptr<RawClient>> idle;
  for (int i = 0; i < options.max_connections; ++i) idle.push_back(std::make_unique<RawClient>(service.port()));
  std::this_thread::sleep_for(300ms);
  for (int i = 0; i < 3; ++i) {
    const HttpReply r = terminal.query("SELECT * FROM MCH_ITEM WHERE MCH_NO = '001' ");
    EXPECT_EQ(r.status, 200) << i;
  }
  ASSERT_TRUE(begun.send(script.substr(30)));
  EXPECT_EQ(begun.status_by(Clock::now() + 10s), 200);
}

// Guessing from one address meets a refusal after some failures, even with the right password,
// while a terminal at another address signs in at once; behind the trusted balancer the address
// is the one it forwards, and the request log names it.
TEST_F(ServiceSafetyTest, GuessingIsRefusedForItsAddressOnly) {
  std::ostringstream log;
  auto options = RunningService::default_options();
  options.trusted_proxy = "127.0.0.1";
  options.log = &log;
  {
    RunningService service(url_, options);
    const std::string sql = "SELECT * FROM MCH_ITEM WHERE MCH_NO = '001' ";
    const std::string guesser = "X-Forwarded-For: 10.1.1.1\r\n", store = "X-Forwarded-For: 10.9.9.9, 10.2.2.2\r\n";
    for (int i = 0; i < 12; ++i) {
      const HttpReply r = TerminalClient(service.port(), kMachine, "guess" + std::to_string(i)).query(sql, guesser);
      EXPECT_TRUE(r.body.starts_with("<RESULT>")) << r.body;
    }
    const HttpReply held = TerminalClient(service.port()).query(sql, guesser);
    EXPECT_NE(held.body.find("too many failed sign-ins"), std::string::npos) << held.body;
    const HttpReply served = TerminalClient(service.port()).query(sql, store);
    EXPECT_EQ(served.status, 200);
    EXPECT_FALSE(served.body.starts_with("<RESULT>")) << served.body;
  }
  EXPECT_NE(log.str().find("client=10.1.1.1 "), std::string::npos) << log.str();
  EXPECT_NE(log.str().find("client=10.2.2.2 "), std::string::npos) << log.str();
}

// A balancer's checks (GET /status without credentials, GET /health) and a neighbour behind the
// same address that keeps sending a wrong password: the terminal with its own right credential is
// served all along, and /health answers 200 with nothing in it.
TEST_F(ServiceSafetyTest, ABalancersChecksAndANeighboursWrongPasswordLockNobodyOut) {
  RunningService service(url_);
  const std::string own = "SELECT * FROM MCH_ITEM WHERE MCH_NO = '001' ";
  for (int i = 0; i < 30; ++i) {
    EXPECT_EQ(http_exchange(service.port(), "GET /status HTTP/1.0\r\n\r\n").status, 401);
    const HttpReply health = http_exchange(service.port(), "GET /health HTTP/1.0\r\n\r\n");
    EXPECT_EQ(health.status, 200);
    EXPECT_EQ(health.body, "");
  }
  const TerminalClient neighbour(service.port(), "002", "anOldPassword");
  for (int i = 0; i < 12; ++i) neighbour.query("SELECT * FROM MCH_ITEM WHERE MCH_NO = '002' ");
  const HttpReply held = neighbour.query(own);
  EXPECT_NE(held.body.find("too many failed sign-ins as '002'"), std::string::npos) << held.body;
  const HttpReply served = TerminalClient(service.port()).query(own);
  EXPECT_TRUE(served.body.starts_with("<?xml")) << served.body;
}

// Every connection place taken by clients that trickle a request's head, a line at a time: they
// are cut off at the head's deadline, and a terminal does not wait for that: heads that take
// longer than a moment give way to it.
TEST_F(ServiceSafetyTest, TrickledRequestHeadsAreCutOffAndGiveWayToATerminal) {
  constexpr int kTricklers = 40;
  auto options = RunningService::default_options();
  options.max_connections = kTricklers;
  options.head_timeout = 2s;
  RunningService service(url_, options);
  const auto opened = Clock::now();
  std::vector<std::unique_ptr<RawClient>> tricklers;
  for (int i = 0; i < kTricklers; ++i) {
    tricklers.push_back(std::make_unique<RawClient>(service.port()));
    ASSERT_TRUE(tricklers.back()->send("POST /Vark/ado/index.php HTTP/1.0\r\n"));
  }
  std::atomic<bool> trickling{true};
  std::thread trickle([&] {
    for (int n = 0; trickling; ++n) {
      for (auto& t : tricklers) t->send("X-Line-" + std::to_string(n) + ": 1\r\n");
      std::this_thread::sleep_for(300ms);
    }
  });
  std::this_thread::sleep_for(1500ms);
  const auto asked = Clock::now();
  const HttpReply r = TerminalClient(service.port()).query("SELECT * FROM MCH_ITEM WHERE MCH_NO = '001' ");
  const double waited = ms_since(asked);
  EXPECT_TRUE(r.body.starts_with("<?xml")) << r.status << " " << r.body;
  EXPECT_LT(waited, 1000);
  int cut = 0;
  for (auto& t : tricklers) {
    const int status = t->status_by(opened + options.head_timeout + 2s);
    cut += status == 408 || status == 0;
  }
  trickling = false;
  trickle.join();
  EXPECT_EQ(cut, kTricklers);
  EXPECT_LT(ms_since(opened), 5000);
}

// One credential running statements without end on every database connection: another terminal
// is served at once, and the credential's requests beyond its share get a busy answer.
TEST_F(ServiceSafetyTest, OneCredentialCannotHoldEveryDatabaseConnection) {
  auto options = RunningService::default_options();
  options.threads = 4;  // one of them for a credential
  options.any_statement = true;
  options.statement_timeout = 4s;
  RunningService service(url_, options);
  std::vector<std::thread> greedy;
  std::atomic<int> busy{0};
  for (int i = 0; i < options.threads; ++i) {
    greedy.emplace_back([&] {
      const HttpReply r =
          TerminalClient(service.port())
              .query("WITH RECURSIVE C(X) AS (SELECT 1 UNION ALL SELECT X + 1 FROM C) SELECT COUNT(*) FROM C ");
      busy += r.body.find("requests running at head office") != std::string::npos;
    });
  }
  std::this_thread::sleep_for(500ms);
  const auto asked = Clock::now();
  const HttpReply other = TerminalClient(service.port(), "002", terminal_password("002"))
                              .query("SELECT * FROM MCH_ITEM WHERE MCH_NO = '002' ");
  EXPECT_TRUE(other.body.starts_with("<?xml")) << other.body;
  EXPECT_LT(ms_since(asked), 1000);
  for (auto& g : greedy) g.join();
  EXPECT_EQ(busy.load(), options.threads - 1);
}

}  // namespace
}  // namespace pos::test

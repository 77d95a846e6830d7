#include "headoffice/service.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <httplib.h>
#include <netdb.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <type_traits>

#include "headoffice/answer_encoding.h"
#include "headoffice/request_handler.h"
#include "headoffice/wire_text.h"

namespace pos::headoffice {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kQueryPath = R"(/Vark/[^/]+/index\.php)";
constexpr const char* kScriptPath = R"(/Vark/[^/]+/sql_scripts\.php)";

// What the handler learnt about the request it served, for the log line written after the
// answer; the logger runs on the thread that served the request.
struct RequestTrace {
  std::chrono::steady_clock::time_point start{};
  bool started = false;
  RequestNote note;
  bool accepts_gzip = false;   // the request's Accept-Encoding lists gzip
  std::size_t body_bytes = 0;  // of the answer as sent
  bool gzipped = false;
};
thread_local RequestTrace trace;

std::optional<std::string> field(const httplib::Request& req, const char* name) {
  auto it = req.files.find(name);
  if (it == req.files.end()) return std::nullopt;
  return it->second.content;
}

std::string raw_query(const httplib::Request& req) {
  const auto q = req.target.find('?');
  return q == std::string::npos ? std::string() : req.target.substr(q + 1);
}

std::string local_time_now() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t t = std::chrono::system_clock::to_time_t(now);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[40];
  const std::size_t n = std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
  std::snprintf(buf + n, sizeof buf - n, ".%03d", static_cast<int>(ms));
  return buf;
}

std::string endpoint_name(const std::string& path) {
  if (path.ends_with("/index.php")) return "query";
  if (path.ends_with("/sql_scripts.php")) return "script";
  return "other";
}

// Bytes a request may send before its body: the request line and headers.
constexpr std::size_t kHeadAllowance = 256u << 10;
constexpr int kKeepAliveRequests = 100;
constexpr auto kKeepAliveWait = std::chrono::seconds(5);
constexpr auto kWriteTimeout = std::chrono::seconds(60);
// After refusing a request that was not read whole, its rest is read and dropped for this long,
// so that closing does not reset the connection before the client has the answer.
constexpr auto kLingerTime = std::chrono::seconds(2);
constexpr auto kIdleThreadLife = std::chrono::seconds(10);

// How the request being served on this thread ended, as far as the connection goes.
struct ConnectionState {
  bool late = false;   // the request did not arrive in time
  bool close = false;  // the request was refused unread: close the connection after the answer
};
thread_local ConnectionState connection_state;

// Waits until `fd` is ready for `events`; false when `until` passes first.
bool wait_until(int fd, short events, Clock::time_point until) {
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
    if (left <= 0) return false;
    pollfd p{fd, events, 0};
    const int n = ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 60'000)));
    if (n > 0) return true;
    if (n < 0 && errno != EINTR) return false;
  }
}

// One thread per connection, up to `cap` (more connections wait in line); threads left idle for a
// while end, down to `keep`.
class ConnectionThreads : public httplib::TaskQueue {
 public:
  ConnectionThreads(std::size_t keep, std::size_t cap) : keep_(keep), cap_(std::max(cap, keep)) {}
  ~ConnectionThreads() override { shutdown(); }

  void enqueue(std::function<void()> fn) override {
    std::lock_guard lock(mutex_);
    reap();
    jobs_.push_back(std::move(fn));
    if (idle_ < jobs_.size() && threads_.size() < cap_) {
      try {
        std::thread t([this] { work(); });
        const auto id = t.get_id();
        threads_.emplace(id, std::move(t));
      } catch (const std::system_error&) {
        // No thread to be had now: the connection waits for one that is running.
      }
    }
    wake_.notify_one();
  }

  // Runs what is queued, then ends every thread.
  void shutdown() override {
    std::map<std::thread::id, std::thread> threads;
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
      threads.swap(threads_);
      finished_.clear();
    }
    wake_.notify_all();
    for (auto& [id, t] : threads) t.join();
  }

 private:
  void work() {
    std::unique_lock lock(mutex_);
    for (;;) {
      ++idle_;
      const bool woken = wake_.wait_for(lock, kIdleThreadLife, [&] { return !jobs_.empty() || stopping_; });
      --idle_;
      if (jobs_.empty()) {
        if (stopping_ || (!woken && threads_.size() - finished_.size() > keep_)) break;
        continue;
      }
      std::function<void()> job = std::move(jobs_.front());
      jobs_.pop_front();
      lock.unlock();
      job();
      job = nullptr;
      lock.lock();
    }
    if (!stopping_) finished_.push_back(std::this_thread::get_id());
  }

  // Joins the threads that have ended.
  void reap() {
    for (const auto id : finished_) {
      auto it = threads_.find(id);
      it->second.join();
      threads_.erase(it);
    }
    finished_.clear();
  }

  const std::size_t keep_, cap_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> jobs_;
  std::map<std::thread::id, std::thread> threads_;
  std::vector<std::thread::id> finished_;
  std::size_t idle_ = 0;
  bool stopping_ = false;
};

// A connection's bytes, plain or TLS, on a non-blocking socket. Reading a request stops at its
// deadline and after its byte allowance; writing gives up when the client takes nothing for
// kWriteTimeout.
class ConnectionStream final : public httplib::Stream {
 public:
  ConnectionStream(int fd, SSL* tls) : fd_(fd), tls_(tls) {}

  void start_request(Clock::time_point deadline, std::size_t allowance) {
    deadline_ = deadline;
    allowance_ = allowance;
    written_ = 0;
  }

  std::size_t written() const { return written_; }

  // True when another request starts within `wait`.
  bool more_within(std::chrono::milliseconds wait) {
    return buffered() || wait_until(fd_, POLLIN, Clock::now() + wait);
  }

  bool is_readable() const override { return buffered() || wait_until(fd_, POLLIN, deadline_); }
  bool is_writable() const override { return wait_until(fd_, POLLOUT, Clock::now() + kWriteTimeout); }

  ssize_t read(char* ptr, size_t size) override {
    if (begin_ == end_) {
      const ssize_t n = fill();
      if (n <= 0) return n;
    }
    const std::size_t n = std::min(size, end_ - begin_);
    std::memcpy(ptr, buffer_ + begin_, n);
    begin_ += n;
    return static_cast<ssize_t>(n);
  }

  ssize_t write(const char* ptr, size_t size) override {
    std::size_t done = 0;
    while (done < size) {
      short want = POLLOUT;
      if (tls_) {
        const int n = SSL_write(tls_, ptr + done, static_cast<int>(std::min<std::size_t>(size - done, 1u << 30)));
        if (n > 0) {
          done += static_cast<std::size_t>(n);
          continue;
        }
        const int e = SSL_get_error(tls_, n);
        if (e == SSL_ERROR_WANT_READ)
          want = POLLIN;
        else if (e != SSL_ERROR_WANT_WRITE)
          return -1;
      } else {
        const ssize_t n = ::send(fd_, ptr + done, size - done, MSG_NOSIGNAL);
        if (n > 0) {
          done += static_cast<std::size_t>(n);
          continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return -1;
      }
      if (!wait_until(fd_, want, Clock::now() + kWriteTimeout)) return -1;
    }
    written_ += size;
    return static_cast<ssize_t>(size);
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override { address(::getpeername, ip, port); }
  void get_local_ip_and_port(std::string& ip, int& port) const override { address(::getsockname, ip, port); }
  socket_t socket() const override { return fd_; }

 private:
  bool buffered() const { return begin_ != end_ || (tls_ && SSL_pending(tls_) > 0); }

  // Reads what has arrived into the buffer: its size, 0 at the end of the stream, -1 on an error,
  // at the deadline (the request is then late) or beyond the allowance.
  ssize_t fill() {
    if (allowance_ == 0) return -1;
    const std::size_t room = std::min(sizeof buffer_, allowance_);
    for (;;) {
      short want = POLLIN;
      ssize_t n = 0;
      if (tls_) {
        const int r = SSL_read(tls_, buffer_, static_cast<int>(room));
        if (r > 0) {
          n = r;
        } else {
          const int e = SSL_get_error(tls_, r);
          if (e == SSL_ERROR_ZERO_RETURN) return 0;
          if (e == SSL_ERROR_WANT_WRITE)
            want = POLLOUT;
          else if (e != SSL_ERROR_WANT_READ)
            return -1;
          n = -1;
        }
      } else {
        n = ::recv(fd_, buffer_, room, 0);
        if (n == 0) return 0;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return -1;
      }
      if (n > 0) {
        begin_ = 0;
        end_ = static_cast<std::size_t>(n);
        allowance_ -= end_;
        return n;
      }
      if (!wait_until(fd_, want, deadline_)) {
        connection_state.late = Clock::now() >= deadline_;
        return -1;
      }
    }
  }

  using NameFn = int (*)(int, sockaddr*, socklen_t*);
  void address(NameFn get, std::string& ip, int& port) const {
    sockaddr_storage a{};
    socklen_t len = sizeof a;
    ip.clear();
    port = 0;
    if (get(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0) return;
    char text[INET6_ADDRSTRLEN] = "";
    if (a.ss_family == AF_INET) {
      const auto& v4 = reinterpret_cast<const sockaddr_in&>(a);
      inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text);
      port = ntohs(v4.sin_port);
    } else if (a.ss_family == AF_INET6) {
      const auto& v6 = reinterpret_cast<const sockaddr_in6&>(a);
      inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text);
      port = ntohs(v6.sin6_port);
    }
    ip = text;
  }

  int fd_;
  SSL* tls_;
  Clock::time_point deadline_ = Clock::now();
  std::size_t allowance_ = 0;
  char buffer_[16384];
  std::size_t begin_ = 0, end_ = 0;
  std::size_t written_ = 0;
};

// The connections being served: how each is read and answered, and ending them all at stop().
class Connections {
 public:
  using Process = std::function<bool(httplib::Stream&, bool close_connection, bool& connection_closed)>;

  Connections(std::chrono::milliseconds request_timeout, std::size_t max_body)
      : request_timeout_(request_timeout), allowance_(max_body + kHeadAllowance) {}

  // Serves the requests of the connection `fd` (over TLS with `tls`), then closes it.
  void serve(int fd, SSL_CTX* tls, const Process& process) {
    if (!admit(fd)) {
      ::close(fd);
      return;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    SSL* ssl = tls ? new_session(tls) : nullptr;
    const bool ready = !tls || (ssl && SSL_set_fd(ssl, fd) == 1 && handshake(ssl, fd));
    bool unread = !ready;
    if (ready) {
      ConnectionStream stream(fd, ssl);
      for (int n = 0; n < kKeepAliveRequests; ++n) {
        if (n > 0 && !stream.more_within(kKeepAliveWait)) break;
        connection_state = {};
        stream.start_request(Clock::now() + request_timeout_, allowance_);
        bool closed = false;
        bool answered = false;
        try {
          answered = process(stream, n + 1 == kKeepAliveRequests, closed);
        } catch (const std::exception&) {
          // Nothing more can be said on this connection.
        }
        unread = connection_state.close || connection_state.late;
        // The library answers nothing when the request line itself is late.
        if (connection_state.late && stream.written() == 0) {
          static constexpr std::string_view kLate =
              "HTTP/1.1 408 Request Timeout\r\nContent-Type: text/plain\r\nContent-Length: 36\r\n"
              "Connection: close\r\n\r\nthe request took too long to arrive\n";
          stream.write(kLate.data(), kLate.size());
        }
        if (!answered || closed || unread) break;
      }
      if (ssl) SSL_shutdown(ssl);
    }
    if (ssl) SSL_free(ssl);
    release(fd);
    if (unread) linger(fd);
    ::shutdown(fd, SHUT_RDWR);
    ::close(fd);
  }

  // Ends the requests still arriving; connections served from now on are closed at once.
  void close_all() {
    std::lock_guard lock(mutex_);
    closing_ = true;
    for (int fd : open_) ::shutdown(fd, SHUT_RD);
  }

 private:
  bool admit(int fd) {
    std::lock_guard lock(mutex_);
    if (closing_) return false;
    open_.insert(fd);
    return true;
  }
  void release(int fd) {
    std::lock_guard lock(mutex_);
    open_.erase(fd);
  }

  SSL* new_session(SSL_CTX* ctx) {
    std::lock_guard lock(mutex_);
    return SSL_new(ctx);
  }

  bool handshake(SSL* ssl, int fd) const {
    const auto deadline = Clock::now() + request_timeout_;
    for (;;) {
      const int r = SSL_accept(ssl);
      if (r == 1) return true;
      const int e = SSL_get_error(ssl, r);
      short want = 0;
      if (e == SSL_ERROR_WANT_READ)
        want = POLLIN;
      else if (e == SSL_ERROR_WANT_WRITE)
        want = POLLOUT;
      else
        return false;
      if (!wait_until(fd, want, deadline)) return false;
    }
  }

  // No more answers go out; what the client still sends is read and dropped for a short while.
  static void linger(int fd) {
    ::shutdown(fd, SHUT_WR);
    const auto until = Clock::now() + kLingerTime;
    char sink[16384];
    while (wait_until(fd, POLLIN, until)) {
      const ssize_t n = ::recv(fd, sink, sizeof sink, 0);
      if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) break;
    }
  }

  const std::chrono::milliseconds request_timeout_;
  const std::size_t allowance_;
  std::mutex mutex_;
  std::set<int> open_;
  bool closing_ = false;
};

// A cpp-httplib server (plain or TLS) whose connections are served by `Connections`.
template <class Base>
class GuardedServer final : public Base {
 public:
  template <class... Args>
  explicit GuardedServer(Connections& connections, Args&&... args)
      : Base(std::forward<Args>(args)...), connections_(connections) {}

 private:
  bool process_and_close_socket(socket_t sock) override {
    SSL_CTX* tls = nullptr;
    if constexpr (std::is_same_v<Base, httplib::SSLServer>) tls = this->ssl_context();
    connections_.serve(sock, tls, [this](httplib::Stream& s, bool close_connection, bool& closed) {
      return this->process_request(s, close_connection, closed, nullptr);
    });
    return true;
  }

  Connections& connections_;
};

std::unique_ptr<httplib::Server> make_server(Connections& connections, const ServiceOptions& o) {
  if (o.cert_file.empty() && o.key_file.empty()) return std::make_unique<GuardedServer<httplib::Server>>(connections);
  if (o.cert_file.empty() || o.key_file.empty())
    throw std::runtime_error("HTTPS needs both a certificate file and a key file");
  auto server =
      std::make_unique<GuardedServer<httplib::SSLServer>>(connections, o.cert_file.c_str(), o.key_file.c_str());
  if (!server->is_valid())
    throw std::runtime_error("cannot use the certificate " + o.cert_file + " with the key " + o.key_file);
  return server;
}

// Why `host`:`port` cannot be bound, found by trying it.
std::string why_not_bindable(const std::string& host, int port) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  if (const int rc = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found); rc != 0)
    return gai_strerror(rc);
  std::string why = "unknown reason";
  const int fd = ::socket(found->ai_family, found->ai_socktype, found->ai_protocol);
  if (fd < 0) {
    why = std::strerror(errno);
  } else {
    const int yes = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    if (::bind(fd, found->ai_addr, found->ai_addrlen) != 0)
      why = errno == EADDRINUSE ? "the port is in use (is another service listening on it?)" : std::strerror(errno);
    ::close(fd);
  }
  ::freeaddrinfo(found);
  return why;
}

}  // namespace

struct Service::Impl {
  Impl(std::unique_ptr<Database> database, ServiceOptions opts)
      : db(std::move(database)),
        options(std::move(opts)),
        handler(*db, options.user, options.password, static_cast<std::size_t>(std::max(options.threads, 1))),
        connections(options.request_timeout, options.max_body),
        server(make_server(connections, options)) {}

  // Refuses, before its body is read, a request whose body is too large or has no stated length
  // (it would otherwise be read until the connection ends). False when refused.
  bool screen(const httplib::Request& req, httplib::Response& res) const {
    const std::string length = req.get_header_value("Content-Length");
    if (req.method == "PUT" || req.method == "PATCH" || req.method == "DELETE" || req.method == "PRI") {
      res.status = 405;  // methods whose body the library would read, for nothing
      res.set_header("Allow", "POST");
    } else if (req.has_header("Transfer-Encoding") || (req.method == "POST" && !req.has_header("Content-Length"))) {
      res.status = 411;
    } else if (req.has_header("Content-Length") &&
               (length.empty() || length.size() > 18 || length.find_first_not_of("0123456789") != std::string::npos)) {
      res.status = 400;
      res.set_content("bad Content-Length\n", "text/plain");
    } else if (!length.empty() && std::stoull(length) > options.max_body) {
      res.status = 413;
    } else {
      return true;
    }
    connection_state.close = true;
    return false;
  }

  void serve(const httplib::Request& req, httplib::Response& res, bool script) {
    if (!req.is_multipart_form_data()) {
      res.status = 400;
      res.set_content("expected a multipart/form-data body\n", "text/plain");
      return;
    }
    const FormFields form{field(req, "sql"), field(req, "user_name"), field(req, "password")};
    if (options.statement_log && form.sql) log_statements(*form.sql, script);
    const auto fault = options.faults ? options.faults->next(form.sql.value_or("")) : std::nullopt;
    if (fault == FaultKind::http500 || fault == FaultKind::error) {
      serve_fault(*fault, Answer{200, error_answer("injected fault")}, res);
      return;
    }
    Answer answer =
        script ? handler.script(form, raw_query(req), trace.note) : handler.query(form, raw_query(req), trace.note);
    if (fault) {
      serve_fault(*fault, answer, res);
      return;
    }
    res.status = answer.status;
    send_answer(std::move(answer.body), answer.content_type, res);
  }

  // The answer body, gzipped when it is large and the client asked for it.
  static void send_answer(std::string body, const std::string& content_type, httplib::Response& res) {
    res.set_header("Vary", "Accept-Encoding");
    if (body.size() > kCompressAbove && trace.accepts_gzip) {
      body = gzip(body);
      res.set_header("Content-Encoding", "gzip");
      trace.gzipped = true;
    }
    trace.body_bytes = body.size();
    res.body = std::move(body);  // set_content would copy it
    res.set_header("Content-Type", content_type);
  }

  void serve_fault(FaultKind kind, const Answer& answer, httplib::Response& res) {
    trace.note.error = true;
    res.status = answer.status;
    const std::size_t size = std::max<std::size_t>(answer.body.size(), 1);
    switch (kind) {
      case FaultKind::http500:
        res.status = 500;
        res.set_content("injected fault\n", "text/plain");
        return;
      case FaultKind::error:
        break;
      case FaultKind::truncate:
        res.set_content_provider(size, answer.content_type.c_str(),
                                 [body = answer.body](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                   const std::size_t half = body.size() / 2;
                                   if (offset >= half) return false;  // the connection closes here
                                   sink.write(body.data() + offset, half - offset);
                                   return true;
                                 });
        return;
      case FaultKind::garbage: {
        std::minstd_rand noise(static_cast<unsigned>(answer.body.size()));
        std::string bytes(answer.body.size(), '\0');
        for (char& c : bytes) c = static_cast<char>(noise() & 0xff);
        res.set_content(bytes, answer.content_type.c_str());
        return;
      }
      case FaultKind::hang: {
        std::unique_lock lock(stop_mutex);
        stop_cv.wait_for(lock, options.faults->hang, [this] { return stopping; });
        break;
      }
      case FaultKind::drop:
        res.set_content_provider(size, answer.content_type.c_str(),
                                 [](std::size_t, std::size_t, httplib::DataSink&) { return false; });
        return;
    }
    res.set_content(answer.body, answer.content_type.c_str());
  }

  void log_statements(const std::string& sql, bool script) {
    std::string lines;
    auto add = [&](std::string_view text) {
      lines += script ? "script\t" : "query\t";
      for (char c : text) {
        if (c == '\r')
          lines += "\\r";
        else if (c == '\n')
          lines += "\\n";
        else if (c == '\\')
          lines += "\\\\";
        else
          lines += c;
      }
      lines += '\n';
    };
    if (!script) {
      add(sql);
    } else {
      std::size_t at = 0;
      while (at < sql.size()) {
        std::size_t end = sql.find("\r\n", at);
        if (end == std::string::npos) end = sql.size();
        add(std::string_view(sql).substr(at, end - at));
        at = end + 2;
      }
    }
    std::lock_guard lock(log_mutex);
    *options.statement_log << lines << std::flush;
  }

  void write_log(const httplib::Request& req, const httplib::Response& res) {
    if (options.log == nullptr) return;
    double ms = 0;
    if (trace.started) {
      ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - trace.start).count();
    }
    const RequestNote& note = trace.note;
    char line[512];
    // The path only: the script endpoint's query string carries the credentials.
    std::snprintf(line, sizeof line, "%s %s %s %s rows=%lld ms=%.2f bytes=%zu%s status=%d%s path=%s\n",
                  local_time_now().c_str(), endpoint_name(req.path).c_str(), req.method.c_str(),
                  note.kind.empty() ? "-" : note.kind.c_str(), static_cast<long long>(note.rows), ms, trace.body_bytes,
                  trace.gzipped ? " gzip" : "", res.status, note.error ? " error" : "",
                  req.path.substr(0, 200).c_str());
    std::lock_guard lock(log_mutex);
    *options.log << line << std::flush;
  }

  std::unique_ptr<Database> db;
  ServiceOptions options;
  RequestHandler handler;
  Connections connections;
  std::unique_ptr<httplib::Server> server;
  int listening_socket = -1;
  std::mutex log_mutex;
  std::mutex stop_mutex;
  std::condition_variable stop_cv;
  bool stopping = false;  // wakes hanging answers
};

Service::Service(std::unique_ptr<Database> db, ServiceOptions options)
    : impl_(std::make_unique<Impl>(std::move(db), std::move(options))) {
  Impl& im = *impl_;
  auto& svr = *im.server;
  const auto threads = static_cast<std::size_t>(std::max(im.options.threads, 1));
  const auto connections = static_cast<std::size_t>(std::max(im.options.max_connections, 1));
  svr.new_task_queue = [threads, connections] { return new ConnectionThreads(threads, connections); };
  svr.set_payload_max_length(im.options.max_body);
  // Only SO_REUSEADDR: the library's default SO_REUSEPORT would let a second service share the port.
  svr.set_socket_options([&im](socket_t sock) {
    const int yes = 1;
    ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    im.listening_socket = sock;
  });

  svr.set_pre_routing_handler([&im](const httplib::Request& req, httplib::Response& res) {
    trace = RequestTrace{std::chrono::steady_clock::now(), true, {}};
    // The library would compress every answer for a client that lists gzip or br; answers are
    // compressed in send_answer instead, with gzip and only above the threshold. The request is
    // the library's own non-const object, handed over as const.
    auto& headers = const_cast<httplib::Request&>(req).headers;
    const auto [first, last] = headers.equal_range("Accept-Encoding");
    for (auto it = first; it != last; ++it) trace.accepts_gzip = trace.accepts_gzip || accepts_gzip(it->second);
    headers.erase(first, last);
    return im.screen(req, res) ? httplib::Server::HandlerResponse::Unhandled
                               : httplib::Server::HandlerResponse::Handled;
  });
  svr.Post(kQueryPath, [&im](const httplib::Request& req, httplib::Response& res) { im.serve(req, res, false); });
  svr.Post(kScriptPath, [&im](const httplib::Request& req, httplib::Response& res) { im.serve(req, res, true); });
  auto not_post = [](const httplib::Request&, httplib::Response& res) {
    res.status = 405;
    res.set_header("Allow", "POST");
    res.set_content("use POST\n", "text/plain");
  };
  for (const char* path : {kQueryPath, kScriptPath}) {
    svr.Get(path, not_post);
    svr.Options(path, not_post);
  }
  svr.set_error_handler([](const httplib::Request&, httplib::Response& res) {
    if (connection_state.late && res.status == 400) {
      res.status = 408;
      res.body.clear();
    }
    if (!res.body.empty()) return;
    std::string text;
    switch (res.status) {
      case 408:
        text = "the request took too long to arrive";
        break;
      case 411:
        text = "send the body with a Content-Length";
        break;
      case 404:
        text = "no such endpoint; use POST /Vark/<driver>/index.php or /Vark/<driver>/sql_scripts.php";
        break;
      case 413:
        text = "request body too large";
        break;
      case 400:
        text = "malformed request";
        break;
      default:
        text = "request refused (" + std::to_string(res.status) + ")";
    }
    res.set_content(text + "\n", "text/plain");
  });
  svr.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
    res.status = 500;
    res.set_content("internal error\n", "text/plain");
  });
  svr.set_logger([&im](const httplib::Request& req, const httplib::Response& res) {
    im.write_log(req, res);
    trace = RequestTrace{};
  });
}

Service::~Service() { stop(); }

int Service::bind(const std::string& host, int port) {
  auto& svr = *impl_->server;
  const int bound = port == 0 ? svr.bind_to_any_port(host) : (svr.bind_to_port(host, port) ? port : -1);
  if (bound <= 0)
    throw std::runtime_error("cannot listen on " + host + ":" + std::to_string(port) + ": " +
                             why_not_bindable(host, port));
  // The library listens with a backlog of 5, too short for many terminals connecting at once.
  ::listen(impl_->listening_socket, SOMAXCONN);
  return bound;
}

bool Service::run() { return impl_->server->listen_after_bind(); }

void Service::stop() {
  {
    std::lock_guard lock(impl_->stop_mutex);
    impl_->stopping = true;
  }
  impl_->stop_cv.notify_all();
  impl_->server->stop();
  impl_->connections.close_all();
}

std::size_t raise_open_file_limit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
  if (limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) ::getrlimit(RLIMIT_NOFILE, &limit);
  }
  return static_cast<std::size_t>(limit.rlim_cur);
}

}  // namespace pos::headoffice

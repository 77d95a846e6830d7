#include "headoffice/service.h"

#include <httplib.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <random>
#include <stdexcept>

#include "headoffice/answer_encoding.h"
#include "headoffice/request_handler.h"
#include "headoffice/status/fleet_status.h"
#include "headoffice/status/run_recorder.h"
#include "headoffice/status/service_metrics.h"
#include "headoffice/status/status_page.h"
#include "headoffice/transport/connection_state.h"
#include "headoffice/transport/connection_threads.h"
#include "headoffice/transport/connections.h"
#include "headoffice/transport/guarded_server.h"
#include "headoffice/transport/listening.h"
#include "headoffice/wire_text.h"
#include "text/big5.h"

namespace pos::headoffice {
namespace {

constexpr const char* kQueryPath = R"(/Vark/[^/]+/index\.php)";
constexpr const char* kScriptPath = R"(/Vark/[^/]+/sql_scripts\.php)";

// What the handler learnt about the request it served, for the log line written after the
// answer; the logger runs on the thread that served the request.
struct RequestTrace {
  std::chrono::steady_clock::time_point start{};
  bool started = false;
  RequestNote note;
  std::string client;          // the address the request came from
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
  if (path == "/status" || path == "/status.json") return "status";
  if (path == "/metrics") return "metrics";
  if (path == "/health") return "health";
  return "other";
}

// The status page asked for (?page=N, from 1); 1 when none or not a number.
int page_asked(const httplib::Request& req) {
  const std::string page = req.get_param_value("page");
  if (page.empty() || page.size() > 6 || page.find_first_not_of("0123456789") != std::string::npos) return 1;
  return std::max(1, std::stoi(page));
}

}  // namespace

struct Service::Impl {
  Impl(std::unique_ptr<Database> database, ServiceOptions opts)
      : db(std::move(database)),
        options(std::move(opts)),
        handler(*db, handler_options()),
        connections(options.request_timeout, options.head_timeout, options.max_body),
        server(make_server(connections, options.cert_file, options.key_file)) {
    db->set_statement_timeout(options.statement_timeout);
  }

  HandlerOptions handler_options() {
    const int threads = std::max(options.threads, 1);
    HandlerOptions h{
        options.user,
        options.password,
        static_cast<std::size_t>(threads),
        static_cast<std::size_t>(options.per_credential > 0 ? options.per_credential : std::max(threads / 4, 1)),
        options.any_statement,
        nullptr};
    if (options.refusal_log)
      h.on_refusal = [this](const std::string& line) {
        std::lock_guard lock(log_mutex);
        *options.refusal_log << local_time_now() << " " << line << std::endl;
      };
    return h;
  }

  // The client's address: the peer's, or for the trusted balancer the last address it forwards.
  std::string client_address(const httplib::Request& req) const {
    if (options.trusted_proxy.empty() || req.remote_addr != options.trusted_proxy) return req.remote_addr;
    const std::string forwarded = req.get_header_value("X-Forwarded-For");
    const auto comma = forwarded.rfind(',');
    std::string last = comma == std::string::npos ? forwarded : forwarded.substr(comma + 1);
    last.erase(0, last.find_first_not_of(" \t"));
    last.erase(last.find_last_not_of(" \t") + 1);
    return last.empty() ? req.remote_addr : last;
  }

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
    std::optional<FaultKind> fault;
    if (options.faults) fault = options.faults->next(form.sql.value_or(""));
    if (fault == FaultKind::http500 || fault == FaultKind::error) {
      recorder.answered(trace.client, {}, form.sql.value_or(""), std::string("injected fault: ") + fault_name(*fault));
      serve_fault(*fault, Answer{200, error_answer("injected fault")}, res);
      return;
    }
    Answer answer = script ? handler.script(form, raw_query(req), trace.client, trace.note)
                           : handler.query(form, raw_query(req), trace.client, trace.note);
    std::optional<std::string> error;
    if (fault && *fault != FaultKind::hang)  // a late answer is no wrong one
      error = std::string("injected fault: ") + fault_name(*fault);
    else if (trace.note.error)
      error = big5_to_utf8_lossy(answer.body.substr(0, 400));
    // Only a signed-in terminal's requests count: anyone else could name any machine. A terminal
    // that signed in with its own credential is its machine, whatever it names.
    const bool own = trace.note.who && trace.note.who->kind == Principal::Kind::Terminal;
    if (fault || trace.note.signed_in)
      recorder.answered(trace.client, own ? trace.note.who->name : std::string(), form.sql.value_or(""), error);
    else if (trace.note.refused_user)
      recorder.sign_in_refused(trace.client, *trace.note.refused_user);
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

  // Whether the request is signed in as a viewer (basic authentication); answers it when not.
  bool signed_in_viewer(const httplib::Request& req, httplib::Response& res) {
    std::optional<std::string> user, password;
    if (auto given = basic_credentials(req.get_header_value("Authorization"))) {
      user = given->first;
      password = given->second;
    }
    const auto signed_in = handler.sign_in(user, password, trace.client);
    trace.note.who = signed_in.who;
    if (signed_in.who && signed_in.who->kind == Principal::Kind::Viewer) return true;
    res.status = signed_in.who ? 403 : 401;
    if (!signed_in.who) res.set_header("WWW-Authenticate", "Basic realm=\"head office\", charset=\"UTF-8\"");
    const std::string why = signed_in.who ? "'" + signed_in.who->name +
                                                "' is no viewer of the status page; "
                                                "head office adds one with: headoffice-service viewers add"
                                          : signed_in.refusal;
    res.set_content(why + "\n", "text/plain; charset=utf-8");
    return false;
  }

  // The fleet's status page (`json` or HTML), for a viewer.
  void serve_status(const httplib::Request& req, httplib::Response& res, bool json) {
    if (!signed_in_viewer(req, res)) return;
    FleetStatus fleet;
    {
      auto c = handler.pool().borrow();
      fleet = read_fleet_status(*c, options.silent_after, std::time(nullptr), page_asked(req));
    }
    res.set_header("Cache-Control", "no-store");
    if (json)
      res.set_content(status_json(fleet), "application/json; charset=utf-8");
    else
      res.set_content(status_html(fleet), "text/html; charset=utf-8");
    trace.body_bytes = res.body.size();
  }

  // Prometheus's scrape, signed in as a viewer.
  void serve_metrics(const httplib::Request& req, httplib::Response& res) {
    if (!signed_in_viewer(req, res)) return;
    auto c = handler.pool().borrow();
    res.set_header("Cache-Control", "no-store");
    res.set_content(metrics.exposition(*c, std::time(nullptr), recorder.runs_started(), recorder.runs_failed()),
                    ServiceMetrics::kContentType);
    trace.body_bytes = res.body.size();
  }

  // 200 with an empty body while the database answers a trivial query; 503 otherwise.
  void serve_health(httplib::Response& res) {
    try {
      auto c = handler.pool().borrow();
      c->execute("SELECT 1");
      res.status = 200;
    } catch (const std::exception&) {
      res.status = 503;
    }
    res.set_header("Cache-Control", "no-store");
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
    double ms = 0;
    if (trace.started) {
      ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - trace.start).count();
    }
    metrics.answered(endpoint_name(req.path), res.status, ms / 1000);
    if (options.log == nullptr) return;
    const RequestNote& note = trace.note;
    char line[512];
    // The path only: the script endpoint's query string carries the credentials.
    const std::string user = note.who ? note.who->name : "-";
    std::snprintf(line, sizeof line,
                  "%s client=%s user=%s %s %s %s rows=%lld ms=%.2f bytes=%zu%s status=%d%s path=%s\n",
                  local_time_now().c_str(), trace.client.substr(0, 64).c_str(), user.substr(0, 40).c_str(),
                  endpoint_name(req.path).c_str(), req.method.c_str(), note.kind.empty() ? "-" : note.kind.c_str(),
                  static_cast<long long>(note.rows), ms, trace.body_bytes, trace.gzipped ? " gzip" : "", res.status,
                  note.error ? " error" : "", req.path.substr(0, 200).c_str());
    std::lock_guard lock(log_mutex);
    *options.log << line << std::flush;
  }

  std::unique_ptr<Database> db;
  ServiceOptions options;
  RequestHandler handler;
  RunRecorder recorder{handler.pool()};
  ServiceMetrics metrics;
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
  // A connection beyond the limit makes room by closing one that has sent nothing.
  svr.new_task_queue = [threads, connections, &im] {
    return new ConnectionThreads(threads, connections,
                                 [&im](std::size_t waiting) { im.connections.make_room(waiting); });
  };
  svr.set_payload_max_length(im.options.max_body);
  // Only SO_REUSEADDR: the library's default SO_REUSEPORT would let a second service share the port.
  svr.set_socket_options([&im](socket_t sock) {
    const int yes = 1;
    ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    im.listening_socket = sock;
  });

  svr.set_pre_routing_handler([&im](const httplib::Request& req, httplib::Response& res) {
    trace = RequestTrace{std::chrono::steady_clock::now(), true, {}, im.client_address(req)};
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
  svr.Get("/health", [&im](const httplib::Request&, httplib::Response& res) { im.serve_health(res); });
  svr.Get("/status", [&im](const httplib::Request& req, httplib::Response& res) { im.serve_status(req, res, false); });
  svr.Get("/status.json",
          [&im](const httplib::Request& req, httplib::Response& res) { im.serve_status(req, res, true); });
  svr.Get("/metrics", [&im](const httplib::Request& req, httplib::Response& res) { im.serve_metrics(req, res); });
  for (const char* path : {kQueryPath, kScriptPath}) {
    svr.Get(path, not_post);
    svr.Options(path, not_post);
  }
  // An error answer ends its connection: the request's body may be unread, and must never be
  // taken for the next request.
  svr.set_error_handler([](const httplib::Request&, httplib::Response& res) {
    connection_state.close = true;
    res.set_header("Connection", "close");
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
  impl_->handler.stop();
  impl_->server->stop();
  impl_->connections.close_all();
}

}  // namespace pos::headoffice

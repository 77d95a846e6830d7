#include "service/http_client.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

#include "service/run_stop.h"

namespace pos {
namespace {

// What a failed transfer's code says about where to look.
HttpError::Cause cause_of(CURLcode rc) {
  switch (rc) {
    case CURLE_COULDNT_CONNECT:
    case CURLE_COULDNT_RESOLVE_HOST:
      return HttpError::Cause::Unreachable;
    case CURLE_OPERATION_TIMEDOUT:
      return HttpError::Cause::TimedOut;
    case CURLE_GOT_NOTHING:
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_UNSUPPORTED_PROTOCOL:  // "Received HTTP/0.9 when not allowed"
      return HttpError::Cause::NoHttp;
    case CURLE_SSL_CONNECT_ERROR:
      return HttpError::Cause::NoTls;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
      return HttpError::Cause::CertificateRefused;
    default:
      return HttpError::Cause::Other;
  }
}

}  // namespace

namespace {

using Clock = std::chrono::steady_clock;

CURL* handle(void* p) { return static_cast<CURL*>(p); }

struct MimeDeleter {
  void operator()(curl_mime* m) const { curl_mime_free(m); }
};
struct SlistDeleter {
  void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

void check(CURLcode rc, const char* what) {
  if (rc != CURLE_OK) throw HttpError(std::string(what) + ": " + curl_easy_strerror(rc));
}

}  // namespace

// What one request collects while libcurl runs it.
struct HttpClient::Transfer {
  const HttpSettings* settings = nullptr;
  const std::function<void()>* while_waiting = nullptr;
  BodySink* sink = nullptr;
  std::exception_ptr sink_error;
  std::string status_line;  // of the last response seen (redirects pass through several)
  bool line_too_long = false;
  bool timed_out = false;
  bool stopped = false;
  std::size_t body_bytes = 0;  // handed to the sink
  Clock::time_point last_activity = Clock::now();
  curl_off_t last_up = 0;
  curl_off_t last_down = 0;

  // The status of the answer being received, from its status line ("HTTP/1.1 200 OK").
  long status() const {
    const auto blank = status_line.find(' ');
    return blank == std::string::npos ? 0 : std::atol(status_line.c_str() + blank + 1);
  }

  static size_t on_body(char* data, size_t size, size_t count, void* user) {
    auto& t = *static_cast<Transfer*>(user);
    t.last_activity = Clock::now();
    if (t.status() >= 400) return size * count;  // an error page is not an answer
    try {
      t.body_bytes += size * count;
      t.sink->write(std::string_view(data, size * count));
    } catch (...) {
      t.sink_error = std::current_exception();
      return 0;  // no exception may cross libcurl; a short count ends the transfer with an error
    }
    return size * count;
  }

  static size_t on_header(char* data, size_t size, size_t count, void* user) {
    auto& t = *static_cast<Transfer*>(user);
    std::string_view line(data, size * count);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    if (line.size() > t.settings->max_line_length) {
      t.line_too_long = true;
      return 0;
    }
    if (line.starts_with("HTTP/")) t.status_line = line;
    t.last_activity = Clock::now();
    return size * count;
  }

  // Ends the transfer when nothing has moved for the read time-out.
  static int on_progress(void* user, curl_off_t, curl_off_t dlnow, curl_off_t, curl_off_t ulnow) {
    auto& t = *static_cast<Transfer*>(user);
    const auto now = Clock::now();
    // Compressed bytes count as activity too, before any of them decodes into the body.
    if (ulnow != t.last_up || dlnow != t.last_down) {
      t.last_up = ulnow;
      t.last_down = dlnow;
      t.last_activity = now;
    }
    if (now - t.last_activity > std::chrono::milliseconds(t.settings->read_timeout_ms)) {
      t.timed_out = true;
      return 1;
    }
    if (run_stop_requested()) {
      t.stopped = true;
      return 1;
    }
    if (*t.while_waiting) (*t.while_waiting)();
    return 0;
  }
};

HttpClient::HttpClient() {
  static std::once_flag global_init;
  std::call_once(global_init, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  curl_ = curl_easy_init();
  if (curl_ == nullptr) throw HttpError("cannot create an HTTP client");
  CURL* c = handle(curl_);
  check(curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L), "NOSIGNAL");
  // One cookie engine for the client's life, starting empty.
  check(curl_easy_setopt(c, CURLOPT_COOKIEFILE, ""), "COOKIEFILE");
  // Never a proxy, whatever the environment says.
  check(curl_easy_setopt(c, CURLOPT_PROXY, ""), "PROXY");
  check(curl_easy_setopt(c, CURLOPT_NOPROXY, "*"), "NOPROXY");
  check(curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https"), "PROTOCOLS");
  check(curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https"), "REDIR_PROTOCOLS");
  check(curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L), "FOLLOWLOCATION");
  // Every request is a POST: a 301, 302 or 303 redirect is followed with the POST and its form.
  check(curl_easy_setopt(c, CURLOPT_POSTREDIR, static_cast<long>(CURL_REDIR_POST_ALL)), "POSTREDIR");
  check(curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L), "NOPROGRESS");
  check(curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &Transfer::on_body), "WRITEFUNCTION");
  check(curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, &Transfer::on_header), "HEADERFUNCTION");
  check(curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, &Transfer::on_progress), "XFERINFOFUNCTION");
}

HttpClient::~HttpClient() { curl_easy_cleanup(handle(curl_)); }

namespace {

struct StringSink : BodySink {
  std::string body;
  void write(std::string_view piece) override { body.append(piece); }
};

}  // namespace

std::string HttpClient::post(const std::string& url, const std::vector<FormField>& form) {
  StringSink sink;
  post(url, form, sink);
  return std::move(sink.body);
}

void HttpClient::post(const std::string& url, const std::vector<FormField>& form, BodySink& sink) {
  for (int attempt = 0;; ++attempt) {
    bool answered = false;
    try {
      post_once(url, form, sink, answered);
      return;
    } catch (const HttpError& e) {
      if (attempt >= settings.retries || answered || !e.retryable()) throw;
      const int wait_seconds = 1 << std::min(attempt, 6);
      if (on_retry)
        on_retry("request " + std::to_string(attempt + 1) + " of " + std::to_string(settings.retries + 1) +
                 " failed (" + e.what() + "); again in " + std::to_string(wait_seconds) + " s");
      const auto until = Clock::now() + std::chrono::seconds(wait_seconds);
      while (Clock::now() < until) {
        stop_point();
        if (while_waiting) while_waiting();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
    }
  }
}

void HttpClient::post_once(const std::string& url, const std::vector<FormField>& form, BodySink& sink, bool& answered) {
  CURL* c = handle(curl_);
  stop_point();
  // libcurl reads the URL up to its first NUL byte: the rest would be dropped without a word.
  if (url.find('\0') != std::string::npos)
    throw HttpError("the URL holds a NUL byte: " + url.substr(0, url.find('\0')));

  std::unique_ptr<curl_mime, MimeDeleter> mime(curl_mime_init(c));
  if (!mime) throw HttpError("cannot build the form");
  for (const auto& field : form) {
    curl_mimepart* part = curl_mime_addpart(mime.get());
    if (part == nullptr) throw HttpError("cannot build the form");
    check(curl_mime_name(part, field.name.c_str()), "form field name");
    check(curl_mime_data(part, field.value.data(), field.value.size()), "form field value");
  }

  // "Expect:" with no value keeps libcurl from ever adding "Expect: 100-continue".
  std::unique_ptr<curl_slist, SlistDeleter> headers;
  for (const std::string& h :
       {"Accept: " + settings.accept,
        "Accept-Encoding: " + (settings.compressed_answers ? "gzip, " : std::string()) + settings.accept_encoding,
        std::string("Expect:")}) {
    curl_slist* head = curl_slist_append(headers.get(), h.c_str());
    if (head == nullptr) throw HttpError("cannot build the request headers");
    (void)headers.release();
    headers.reset(head);
  }

  Transfer t;
  t.settings = &settings;
  t.while_waiting = &while_waiting;
  t.sink = &sink;
  char error[CURL_ERROR_SIZE] = "";
  // libcurl decodes only what CURLOPT_ACCEPT_ENCODING names; the header above replaces its own.
  check(curl_easy_setopt(c, CURLOPT_ACCEPT_ENCODING, settings.compressed_answers ? "gzip" : nullptr),
        "ACCEPT_ENCODING");
  check(curl_easy_setopt(c, CURLOPT_HTTP_CONTENT_DECODING, settings.compressed_answers ? 1L : 0L), "CONTENT_DECODING");
  const long fresh = settings.keep_alive ? 0L : 1L;
  check(curl_easy_setopt(c, CURLOPT_HTTP_VERSION,
                         static_cast<long>(settings.keep_alive ? CURL_HTTP_VERSION_1_1 : CURL_HTTP_VERSION_1_0)),
        "HTTP_VERSION");
  check(curl_easy_setopt(c, CURLOPT_FRESH_CONNECT, fresh), "FRESH_CONNECT");
  check(curl_easy_setopt(c, CURLOPT_FORBID_REUSE, fresh), "FORBID_REUSE");
  check(curl_easy_setopt(c, CURLOPT_URL, url.c_str()), "URL");
  check(curl_easy_setopt(c, CURLOPT_USERAGENT, settings.user_agent.c_str()), "USERAGENT");
  check(curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get()), "HTTPHEADER");
  check(curl_easy_setopt(c, CURLOPT_MAXREDIRS, settings.max_redirects), "MAXREDIRS");
  check(curl_easy_setopt(c, CURLOPT_MIMEPOST, mime.get()), "MIMEPOST");
  check(curl_easy_setopt(c, CURLOPT_CAINFO, settings.ca_file.empty() ? nullptr : settings.ca_file.c_str()), "CAINFO");
  check(curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error), "ERRORBUFFER");
  check(curl_easy_setopt(c, CURLOPT_WRITEDATA, &t), "WRITEDATA");
  check(curl_easy_setopt(c, CURLOPT_HEADERDATA, &t), "HEADERDATA");
  check(curl_easy_setopt(c, CURLOPT_XFERINFODATA, &t), "XFERINFODATA");

  CURLcode rc = curl_easy_perform(c);
  // A kept connection that the service closed as the request went out fails with nothing
  // answered: the request goes again, once, on a new connection.
  long new_connections = 1;
  if (settings.keep_alive && t.status_line.empty() && t.body_bytes == 0 &&
      (rc == CURLE_SEND_ERROR || rc == CURLE_RECV_ERROR || rc == CURLE_GOT_NOTHING) &&
      curl_easy_getinfo(c, CURLINFO_NUM_CONNECTS, &new_connections) == CURLE_OK && new_connections == 0) {
    error[0] = '\0';
    curl_easy_setopt(c, CURLOPT_FRESH_CONNECT, 1L);
    rc = curl_easy_perform(c);
  }

  // The handle outlives this call's form, headers and buffers.
  curl_easy_setopt(c, CURLOPT_MIMEPOST, nullptr);
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, nullptr);
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, nullptr);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, nullptr);
  curl_easy_setopt(c, CURLOPT_HEADERDATA, nullptr);
  curl_easy_setopt(c, CURLOPT_XFERINFODATA, nullptr);

  answered = t.body_bytes > 0;
  curl_off_t wire = 0;
  if (curl_easy_getinfo(c, CURLINFO_SIZE_DOWNLOAD_T, &wire) == CURLE_OK) wire_bytes += static_cast<std::uint64_t>(wire);
  if (t.stopped) throw RunStopped{};
  if (t.sink_error) std::rethrow_exception(t.sink_error);
  if (t.timed_out) throw HttpError("Read timed out.", 0, HttpError::Cause::TimedOut);
  if (t.line_too_long) throw HttpError("Max line length exceeded.");
  if (rc != CURLE_OK)
    throw HttpError(error[0] != '\0' ? std::string(error) : std::string(curl_easy_strerror(rc)), 0, cause_of(rc));

  long status = 0;
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
  if (status >= 400) throw HttpError(t.status_line, status);
}

}  // namespace pos

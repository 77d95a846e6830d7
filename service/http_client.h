#pragma once
// IdHTTP1: the data module's one HTTP client, on libcurl. Every request is a multipart/form-data
// POST sent as HTTP/1.0 on a connection of its own (or, with keep_alive, HTTP/1.1 on a connection
// kept open); cookies live as long as the client.
// Not thread-safe: one request at a time.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "service/service_errors.h"

namespace pos {

struct FormField {
  std::string name;
  std::string value;  // sent byte for byte
};

struct HttpSettings {
  std::string accept = "text/html, */*";
  std::string accept_encoding = "big5";  // sent as a header only; answers are never decoded
  // Also lists gzip in Accept-Encoding and decodes gzipped answers; a service that does not
  // compress ignores it.
  bool compressed_answers = false;
  std::string user_agent = "Mozilla/4.0 (compatible; Indy Library)";
  long read_timeout_ms = 300000;        // longest wait with no byte moving in either direction
  std::size_t max_line_length = 65000;  // a longer response header line is an error
  long max_redirects = 15;
  std::string ca_file;  // CA bundle that HTTPS servers are checked against; empty: libcurl's default
  // A request that could not connect, or timed out before any of its answer arrived, is sent again
  // after 1, 2, 4, ... seconds, up to this many times. Every request the jobs send may be repeated:
  // queries, and acknowledgements that remove or mark what they name.
  int retries = 0;
  // HTTP/1.1 on one connection kept open across requests (a new one when the service closes it).
  // Off: every request is HTTP/1.0 on a connection of its own, as always.
  bool keep_alive = false;
};

// Receives an answer's body piece by piece, as it arrives.
class BodySink {
 public:
  virtual ~BodySink() = default;
  virtual void write(std::string_view piece) = 0;
};

class HttpClient {
 public:
  HttpClient();
  ~HttpClient();
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  HttpSettings settings;

  // Called now and then on the calling thread while a request waits (about once a second when
  // nothing moves). It must not throw.
  std::function<void()> while_waiting;

  // Told of each retry before its wait: the attempt that failed and why. Must not throw.
  std::function<void(const std::string&)> on_retry;

  // Answer bodies as they crossed the wire (compressed or not), summed over the client's life.
  std::uint64_t wire_bytes = 0;

  // Posts `form`, its parts in the given order, to `url` and returns the answer body as received.
  // Redirects are followed. Throws HttpError when the request does not complete, the final
  // status is 400 or more, or the URL holds a NUL byte.
  std::string post(const std::string& url, const std::vector<FormField>& form);

  // The same, handing the body to `sink` as it arrives instead of keeping it. The body of an
  // answer with a status of 400 or more is not handed on. An exception from the sink ends the
  // request and is thrown from here.
  void post(const std::string& url, const std::vector<FormField>& form, BodySink& sink);

 private:
  struct Transfer;
  void* curl_;  // CURL*, kept for the client's life so that its cookies stay
  // One attempt; `answered` tells whether any of the answer's body reached the sink.
  void post_once(const std::string& url, const std::vector<FormField>& form, BodySink& sink, bool& answered);
};

}  // namespace pos

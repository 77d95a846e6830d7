#pragma once
// Talks to the service the way a terminal does: a fresh connection per request, HTTP/1.0,
// a multipart form; the query string joined as is (query endpoint) or percent-encoded with
// '=' as %3D (script endpoint).

#include <chrono>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pos::test {

struct HttpReply {
  int status = 0;  // 0: no answer (connection failed or timed out)
  std::string headers;
  std::string body;
};

using FormField = std::pair<std::string, std::string>;

// The whole request for a multipart POST.
std::string multipart_request(const std::string& target, const std::vector<FormField>& fields,
                              const std::string& extra_headers = "");

// Sends raw bytes to 127.0.0.1:port and reads one answer (up to its Content-Length or the
// end of the connection), giving up after `timeout`. With `hang_up`, the client ends its sending
// side after the bytes, as a client does that drops off in the middle of a request.
HttpReply http_exchange(int port, const std::string& request,
                        std::chrono::milliseconds timeout = std::chrono::seconds(20), bool hang_up = false);

// The terminal's URL encoding: letters, digits and $-_@.&+!*"(),;/#?: stay, a blank is %20,
// every other byte %XX.
std::string encode_url(std::string_view text);

// A GET of `path` as HTTP/1.0 to 127.0.0.1:port, signed in with basic authentication as
// `credentials` ("user:password"; none when empty).
HttpReply http_get(int port, const std::string& path, const std::string& credentials);

// The fixture's terminals sign in with credentials of their own: the machine number and its
// password here.
inline constexpr const char* kMachine = "001";
inline std::string terminal_password(const std::string& machine) { return "pw" + machine + "quillbark"; }

class TerminalClient {
 public:
  explicit TerminalClient(int port, std::string user = kMachine, std::string password = terminal_password(kMachine),
                          std::string driver = "ado")
      : port_(port), user_(std::move(user)), password_(std::move(password)), driver_(std::move(driver)) {}

  // Query endpoint; `sql` is the field as sent (already upper-cased by the terminal).
  // `extra_headers` are whole lines, each ending in CR LF.
  HttpReply query(const std::string& sql, const std::string& extra_headers = "") const;
  // Script endpoint; `text` is the whole field (lines each followed by CR LF).
  HttpReply script(const std::string& text) const;
  HttpReply script_lines(const std::vector<std::string>& lines) const;

  std::string query_target() const;
  std::string script_target() const;

 private:
  int port_;
  std::string user_, password_, driver_;
};

}  // namespace pos::test

#include "tests/headoffice/terminal_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace pos::test {
namespace {

constexpr const char* kBoundary = "--------041524155620418";

class Socket {
 public:
  Socket() : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {}
  ~Socket() {
    if (fd_ >= 0) ::close(fd_);
  }
  int fd() const { return fd_; }

 private:
  int fd_;
};

bool wait_ready(int fd, short events, std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  if (left.count() <= 0) return false;
  pollfd p{fd, events, 0};
  return ::poll(&p, 1, static_cast<int>(left.count())) > 0;
}

}  // namespace

std::string multipart_request(const std::string& target, const std::vector<FormField>& fields,
                              const std::string& extra_headers) {
  std::string body;
  for (const auto& [name, value] : fields) {
    body += std::string("--") + kBoundary + "\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n";
    body += value + "\r\n";
  }
  body += std::string("--") + kBoundary + "--\r\n";
  return "POST " + target + " HTTP/1.0\r\n" + "Content-Type: multipart/form-data; boundary=" + kBoundary +
         "\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\nHost: 127.0.0.1\r\nAccept: text/html, */*\r\nAccept-Encoding: big5\r\n"
         "User-Agent: Mozilla/4.0 (compatible; Indy Library)\r\n" +
         extra_headers + "\r\n" + body;
}

HttpReply http_exchange(int port, const std::string& request, std::chrono::milliseconds timeout, bool hang_up) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  Socket s;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (s.fd() < 0 || ::connect(s.fd(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return {};
  for (std::size_t sent = 0; sent < request.size();) {
    if (!wait_ready(s.fd(), POLLOUT, deadline)) return {};
    const ssize_t n = ::send(s.fd(), request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) break;  // the server may answer (413) before it has read everything
    sent += static_cast<std::size_t>(n);
  }
  if (hang_up) ::shutdown(s.fd(), SHUT_WR);
  std::string data;
  std::size_t header_end = std::string::npos;
  long long length = -1;
  char buf[65536];
  while (true) {
    if (header_end != std::string::npos && length >= 0 &&
        data.size() >= header_end + 4 + static_cast<std::size_t>(length)) {
      break;
    }
    if (!wait_ready(s.fd(), POLLIN, deadline)) return {};
    const ssize_t n = ::recv(s.fd(), buf, sizeof buf, 0);
    if (n <= 0) break;
    data.append(buf, static_cast<std::size_t>(n));
    if (header_end == std::string::npos && (header_end = data.find("\r\n\r\n")) != std::string::npos) {
      const std::string head = data.substr(0, header_end);
      for (const char* key : {"Content-Length:", "content-length:"}) {
        if (auto at = head.find(key); at != std::string::npos) length = std::atoll(head.c_str() + at + 15);
      }
    }
  }
  if (header_end == std::string::npos) return {};
  HttpReply reply;
  reply.headers = data.substr(0, header_end);
  std::sscanf(reply.headers.c_str(), "HTTP/%*s %d", &reply.status);
  reply.body = data.substr(header_end + 4);
  if (length >= 0 && reply.body.size() > static_cast<std::size_t>(length)) reply.body.resize(length);
  return reply;
}

std::string encode_url(std::string_view text) {
  static const std::string kept = "$-_@.&+!*\"(),;/#?:";
  std::string out;
  for (unsigned char c : text) {
    const unsigned char up = (c >= 'a' && c <= 'z') ? c - 32 : c;
    if ((up >= 'A' && up <= 'Z') || (c >= '0' && c <= '9') || kept.find(static_cast<char>(c)) != std::string::npos) {
      out += static_cast<char>(c);
    } else if (c == ' ') {
      out += "%20";
    } else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", c);
      out += hex;
    }
  }
  return out;
}

std::string TerminalClient::query_target() const {
  return "/Vark/" + driver_ + "/index.php?user_name=" + user_ + "&password=" + password_;
}

std::string TerminalClient::script_target() const {
  // The terminal encodes the whole URL; scheme and host pass unchanged, so the path does too.
  return encode_url("/Vark/" + driver_ + "/sql_scripts.php?user_name=" + user_ + "&password=" + password_);
}

HttpReply TerminalClient::query(const std::string& sql, const std::string& extra_headers) const {
  return http_exchange(
      port_,
      multipart_request(query_target(), {{"user_name", user_}, {"password", password_}, {"sql", sql}}, extra_headers));
}

HttpReply TerminalClient::script(const std::string& text) const {
  return http_exchange(port_, multipart_request(script_target(), {{"sql", text}}));
}

HttpReply TerminalClient::script_lines(const std::vector<std::string>& lines) const {
  std::string text;
  for (const auto& l : lines) text += l + "\r\n";
  return script(text);
}

namespace {

std::string base64(const std::string& in) {
  static const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (std::size_t i = 0; i < in.size(); i += 3) {
    const unsigned n = (static_cast<unsigned char>(in[i]) << 16) |
                       (i + 1 < in.size() ? static_cast<unsigned char>(in[i + 1]) << 8 : 0) |
                       (i + 2 < in.size() ? static_cast<unsigned char>(in[i + 2]) : 0);
    out += digits[n >> 18 & 63];
    out += digits[n >> 12 & 63];
    out += i + 1 < in.size() ? digits[n >> 6 & 63] : '=';
    out += i + 2 < in.size() ? digits[n & 63] : '=';
  }
  return out;
}

}  // namespace

HttpReply http_get(int port, const std::string& path, const std::string& credentials) {
  const std::string auth = credentials.empty() ? "" : "Authorization: Basic " + base64(credentials) + "\r\n";
  return http_exchange(port, "GET " + path + " HTTP/1.0\r\n" + auth + "\r\n");
}

}  // namespace pos::test

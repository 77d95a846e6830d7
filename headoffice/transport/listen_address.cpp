#include "headoffice/transport/listen_address.h"

#include <stdexcept>

namespace pos::headoffice {

ListenAddress parse_listen_address(const std::string& text) {
  const auto colon = text.rfind(':');
  const std::string port = colon == std::string::npos ? "" : text.substr(colon + 1);
  std::string host = colon == std::string::npos ? "" : text.substr(0, colon);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
  } else if (host.find_first_of("[]:") != std::string::npos) {
    host.clear();  // an IPv6 address needs its brackets
  }
  if (host.empty() || port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos ||
      std::stoi(port) > 65535)
    throw std::runtime_error(
        "--listen takes HOST:PORT or [IPV6]:PORT with a port from 0 to 65535, such as 127.0.0.1:8080 or [::]:8080, "
        "not '" +
        text + "'");
  return {host, std::stoi(port)};
}

std::string url_host(const std::string& host) { return host.find(':') == std::string::npos ? host : "[" + host + "]"; }

}  // namespace pos::headoffice

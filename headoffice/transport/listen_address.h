#pragma once
// The address a service listens on, as an operator writes it.

#include <string>

namespace pos::headoffice {

struct ListenAddress {
  std::string host;  // a name, an IPv4 address or an IPv6 address (without brackets)
  int port = 0;      // 0: any free port
};

// HOST:PORT or [IPV6]:PORT, with a port from 0 to 65535; throws std::runtime_error saying how to
// write it.
ListenAddress parse_listen_address(const std::string& text);

// The host as it stands in a URL: an IPv6 address in brackets.
std::string url_host(const std::string& host);

}  // namespace pos::headoffice

#include "headoffice/transport/guarded_server.h"

#include <stdexcept>
#include <type_traits>
#include <utility>

namespace pos::headoffice {
namespace {

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

}  // namespace

std::unique_ptr<httplib::Server> make_server(Connections& connections, const std::string& cert_file,
                                             const std::string& key_file) {
  if (cert_file.empty() && key_file.empty()) return std::make_unique<GuardedServer<httplib::Server>>(connections);
  if (cert_file.empty() || key_file.empty())
    throw std::runtime_error("HTTPS needs both a certificate file and a key file");
  auto server = std::make_unique<GuardedServer<httplib::SSLServer>>(connections, cert_file.c_str(), key_file.c_str());
  if (!server->is_valid())
    throw std::runtime_error("cannot use the certificate " + cert_file + " with the key " + key_file);
  return server;
}

}  // namespace pos::headoffice

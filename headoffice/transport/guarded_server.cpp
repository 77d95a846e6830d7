#include "headoffice/transport/guarded_server.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
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

std::string user_name(uid_t uid) {
  if (const passwd* pw = ::getpwuid(uid)) return pw->pw_name;
  return "uid " + std::to_string(uid);
}

// A file the service cannot read is named with the cause and the way out, as the packaged service
// runs as its own user while an administrator makes the key as root.
void must_read(const char* what, const std::string& file) {
  if (::access(file.c_str(), R_OK) == 0) return;
  const int err = errno;
  std::string why = std::string("cannot read the ") + what + " " + file + ": " + std::strerror(err);
  struct stat st {};
  if (err == EACCES && ::stat(file.c_str(), &st) == 0) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    const std::string me = user_name(::geteuid());
    why += " (it belongs to " + user_name(st.st_uid) + ", mode " + mode + "; the service runs as " + me +
           ": e.g. chown " + me + " " + file + ")";
  }
  throw std::runtime_error(why);
}

}  // namespace

std::unique_ptr<httplib::Server> make_server(Connections& connections, const std::string& cert_file,
                                             const std::string& key_file) {
  if (cert_file.empty() && key_file.empty()) return std::make_unique<GuardedServer<httplib::Server>>(connections);
  if (cert_file.empty() || key_file.empty())
    throw std::runtime_error("HTTPS needs both a certificate file and a key file");
  must_read("certificate", cert_file);
  must_read("key", key_file);
  auto server = std::make_unique<GuardedServer<httplib::SSLServer>>(connections, cert_file.c_str(), key_file.c_str());
  if (!server->is_valid())
    throw std::runtime_error("cannot use the certificate " + cert_file + " with the key " + key_file);
  return server;
}

}  // namespace pos::headoffice

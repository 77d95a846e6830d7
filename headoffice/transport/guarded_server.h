#pragma once
// The HTTP server: cpp-httplib's routing and parsing over our own connection handling
// (Connections), plain or TLS.

#include <httplib.h>

#include <memory>
#include <string>

#include "headoffice/transport/connections.h"

namespace pos::headoffice {

// A plain HTTP server when both files are empty, HTTPS with the certificate chain and private key
// (PEM files) otherwise. Throws when only one is given or they cannot be used.
std::unique_ptr<httplib::Server> make_server(Connections& connections, const std::string& cert_file,
                                             const std::string& key_file);

}  // namespace pos::headoffice

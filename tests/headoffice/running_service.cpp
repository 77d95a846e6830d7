#include "tests/headoffice/running_service.h"

#include <chrono>

#include "headoffice/storage/database_url.h"
#include "tests/headoffice/terminal_client.h"

namespace pos::test {

headoffice::ServiceOptions RunningService::default_options() {
  headoffice::ServiceOptions o;
  o.threads = 8;
  return o;
}

RunningService::RunningService(const std::string& db_url, headoffice::ServiceOptions options)
    : plain_http_(options.cert_file.empty()),
      service_(std::make_unique<headoffice::Service>(headoffice::open_database(db_url), std::move(options))) {
  port_ = service_->bind("127.0.0.1", 0);
  thread_ = std::thread([this] { service_->run(); });
  // Listening starts on the thread; wait (bounded) until a request gets an answer (plain HTTP only).
  if (!plain_http_) return;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline &&
         http_exchange(port_, "GET /ready HTTP/1.0\r\n\r\n", std::chrono::seconds(1)).status == 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

RunningService::~RunningService() {
  service_->stop();
  if (thread_.joinable()) thread_.join();
}

}  // namespace pos::test

#pragma once
// A headoffice service on a free loopback port, serving from its own thread until destroyed.

#include <memory>
#include <string>
#include <thread>

#include "headoffice/service.h"

namespace pos::test {

// The credential every terminal shares, for the tests of a service started with one.
inline constexpr const char* kSharedUser = "SYSDBA";
inline constexpr const char* kSharedPassword = "quillbark";

class RunningService {
 public:
  explicit RunningService(const std::string& db_url, headoffice::ServiceOptions options = default_options());
  ~RunningService();
  RunningService(const RunningService&) = delete;
  RunningService& operator=(const RunningService&) = delete;

  int port() const { return port_; }

  static headoffice::ServiceOptions default_options();

 private:
  bool plain_http_;
  std::unique_ptr<headoffice::Service> service_;
  std::thread thread_;
  int port_ = 0;
};

}  // namespace pos::test

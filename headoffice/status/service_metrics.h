#pragma once
// What GET /metrics tells a Prometheus server, in its text format: requests answered by endpoint
// and status, their times as a histogram by endpoint, the runs this process saw begin and fail, and,
// read from the database at each scrape, the change-log entries waiting and the oldest one's age,
// by table. Counters are this process's own, since it started: scrape every service process.
// Thread-safe.

#include <array>
#include <cstdint>
#include <ctime>
#include <map>
#include <mutex>
#include <string>
#include <utility>

#include "headoffice/storage/database.h"

namespace pos::headoffice {

class ServiceMetrics {
 public:
  // A request answered: `endpoint` is "query", "script", "status", "metrics" or "other".
  void answered(const std::string& endpoint, int status, double seconds);

  // The exposition as of `now`; `runs_started` and `runs_failed` are the run recorder's counts.
  std::string exposition(Connection& c, std::time_t now, std::int64_t runs_started, std::int64_t runs_failed) const;

  static constexpr const char* kContentType = "text/plain; version=0.0.4; charset=utf-8";

 private:
  // Upper bounds of the latency buckets, in seconds (the last one, +Inf, is implied).
  static constexpr std::array<double, 13> kBounds = {0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1,
                                                     0.25,  0.5,    1,     2.5,  5,     10};
  struct Latency {
    std::array<std::uint64_t, kBounds.size() + 1> buckets{};  // the last: above every bound
    double sum = 0;
    std::uint64_t count = 0;
  };

  mutable std::mutex mu_;
  std::map<std::pair<std::string, int>, std::uint64_t> requests_;
  std::map<std::string, Latency> latency_;
};

}  // namespace pos::headoffice

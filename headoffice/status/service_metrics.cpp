#include "headoffice/status/service_metrics.h"

#include <algorithm>
#include <cstdio>

#include "headoffice/status/utc_time.h"

namespace pos::headoffice {
namespace {

constexpr const char* kLogs[] = {"PRODUCT_TEMP", "MEMBER_TEMP", "PSALE_TEMP", "PTSALE_TEMP", "GSALE_TEMP"};

std::string number(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  return buf;
}

void family(std::string& out, const char* name, const char* type, const char* help) {
  out += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
}

}  // namespace

void ServiceMetrics::answered(const std::string& endpoint, int status, double seconds) {
  const auto bucket =
      static_cast<std::size_t>(std::lower_bound(kBounds.begin(), kBounds.end(), seconds) - kBounds.begin());
  std::lock_guard lock(mu_);
  ++requests_[{endpoint, status}];
  Latency& l = latency_[endpoint];
  ++l.buckets[bucket];
  l.sum += seconds;
  ++l.count;
}

std::string ServiceMetrics::exposition(Connection& c, std::time_t now, std::int64_t runs_started,
                                       std::int64_t runs_failed) const {
  std::string out;
  {
    std::lock_guard lock(mu_);
    family(out, "headoffice_requests_total", "counter", "Requests answered, by endpoint and HTTP status.");
    for (const auto& [key, n] : requests_)
      out += "headoffice_requests_total{endpoint=\"" + key.first + "\",status=\"" + std::to_string(key.second) +
             "\"} " + std::to_string(n) + "\n";
    family(out, "headoffice_request_duration_seconds", "histogram",
           "Time from a request's arrival to its answer, by endpoint.");
    for (const auto& [endpoint, l] : latency_) {
      const std::string labels = "{endpoint=\"" + endpoint + "\",le=\"";
      std::uint64_t below = 0;
      for (std::size_t i = 0; i < kBounds.size(); ++i) {
        below += l.buckets[i];
        out += "headoffice_request_duration_seconds_bucket" + labels + number(kBounds[i]) + "\"} " +
               std::to_string(below) + "\n";
      }
      out += "headoffice_request_duration_seconds_bucket" + labels + "+Inf\"} " + std::to_string(l.count) + "\n";
      out += "headoffice_request_duration_seconds_sum{endpoint=\"" + endpoint + "\"} " + number(l.sum) + "\n";
      out +=
          "headoffice_request_duration_seconds_count{endpoint=\"" + endpoint + "\"} " + std::to_string(l.count) + "\n";
    }
  }
  family(out, "headoffice_runs_started_total", "counter", "Terminal runs this process saw begin.");
  out += "headoffice_runs_started_total " + std::to_string(runs_started) + "\n";
  family(out, "headoffice_runs_failed_total", "counter", "Terminal runs this process saw get an error answer.");
  out += "headoffice_runs_failed_total " + std::to_string(runs_failed) + "\n";

  std::string entries, ages;
  for (const char* log : kLogs) {
    // Two statements: the oldest entry is one step along the index on LOGGED_AT, the count a read
    // of the log.
    const Value count = query_value(c, std::string("SELECT COUNT(*) FROM ") + log);
    const Value first = query_value(c, std::string("SELECT MIN(LOGGED_AT) FROM ") + log);
    const auto oldest = first.is_null() ? std::nullopt : parse_utc_text(first.as_text());
    const std::string label = std::string("{table=\"") + log + "\"} ";
    entries += "headoffice_change_log_entries" + label + std::to_string(count.integer()) + "\n";
    ages += "headoffice_change_log_oldest_age_seconds" + label +
            std::to_string(oldest ? std::max<std::time_t>(0, now - *oldest) : 0) + "\n";
  }
  family(out, "headoffice_change_log_entries", "gauge", "Change-log entries waiting for terminals, by table.");
  out += entries;
  family(out, "headoffice_change_log_oldest_age_seconds", "gauge",
         "Age of the oldest change-log entry waiting, by table; 0 when none waits.");
  out += ages;
  return out;
}

}  // namespace pos::headoffice

// GET /metrics as a Prometheus server reads it: signed in as for the status page, and parsed by
// the Prometheus client's own text-format parser, whose samples must say what the service did.

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <map>
#include <sstream>
#include <string>

#include "headoffice/storage/database_url.h"
#include "tests/headoffice/running_service.h"
#include "tests/headoffice/terminal_client.h"
#include "tests/headoffice/test_databases.h"
#include "tests/support/temp_folder.h"

namespace pos::test {
namespace {

// The samples of an exposition as the Prometheus client parses it ("name{labels}" -> value) and its
// families' types ("TYPE name" -> type); empty when the parser refuses it.
std::map<std::string, std::string> parsed(const std::string& exposition) {
  testing::TempFolder folder("posmetrics");
  const auto file = folder / "metrics.txt";
  if (FILE* f = std::fopen(file.c_str(), "w")) {
    std::fwrite(exposition.data(), 1, exposition.size(), f);
    std::fclose(f);
  }
  // Debian's interpreter, where python3-prometheus-client is installed.
  FILE* p = popen(("/usr/bin/python3 " READ_METRICS_PY " < " + file.string()).c_str(), "r");
  std::string out;
  char buf[4096];
  while (std::size_t n = std::fread(buf, 1, sizeof buf, p)) out.append(buf, n);
  if (pclose(p) != 0) return {};
  std::map<std::string, std::string> samples;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    const auto space = line.rfind(' ');
    samples[line.substr(0, space)] = line.substr(space + 1);
  }
  return samples;
}

double number(const std::map<std::string, std::string>& samples, const std::string& name) {
  const auto found = samples.find(name);
  return found == samples.end() ? -1 : std::stod(found->second);
}

TEST(Metrics, APrometheusParserReadsWhatTheServiceDid) {
  const std::string url = fixture_database_url("metrics");
  RunningService service(url);
  const std::string credentials = std::string(kViewerUser) + ":" + kViewerPassword;
  for (const std::string& wrong : {std::string(), std::string(kViewerUser) + ":guess"}) {
    const HttpReply refused = http_get(service.port(), "/metrics", wrong);
    EXPECT_EQ(refused.status, 401);
    EXPECT_EQ(refused.body.find("headoffice_"), std::string::npos);
  }
  // A run of 001 begins, gets an error answer and removes entries by a script; head office empties
  // a change log.
  const TerminalClient terminal(service.port());
  EXPECT_EQ(terminal.query("SELECT * FROM MCH_ITEM WHERE MCH_NO = '001' ").status, 200);
  EXPECT_NE(terminal.query("SELECT * FROM NO_SUCH_TABLE").body.find("<RESULT>"), std::string::npos);
  EXPECT_EQ(
      terminal
          .script_lines({"DELETE FROM PRODUCT_TEMP WHERE MCH_NO = '001' AND STATE = 'DELETE' AND PROD_ID IN ('X') ;"})
          .body,
      "success");
  auto c = headoffice::open_database(url)->connect();
  c->execute("DELETE FROM GSALE_TEMP");
  c->execute(
      "INSERT INTO PRODUCT_TEMP (MCH_NO, PROD_ID, STATE, LOGGED_AT) VALUES ('002', 'OLD', 'UPDATE', "
      "'2020-01-01 00:00:00')");

  const HttpReply reply = http_get(service.port(), "/metrics", credentials);
  ASSERT_EQ(reply.status, 200);
  EXPECT_NE(reply.headers.find("text/plain; version=0.0.4"), std::string::npos) << reply.headers;
  const auto samples = parsed(reply.body);
  ASSERT_FALSE(samples.empty()) << "the parser refused:\n" << reply.body;

  EXPECT_EQ(samples.at("TYPE headoffice_request_duration_seconds"), "histogram");
  EXPECT_EQ(samples.at("TYPE headoffice_requests"), "counter");
  EXPECT_EQ(number(samples, "headoffice_requests_total{endpoint=\"query\",status=\"200\"}"), 2);
  EXPECT_EQ(number(samples, "headoffice_requests_total{endpoint=\"script\",status=\"200\"}"), 1);
  EXPECT_EQ(number(samples, "headoffice_requests_total{endpoint=\"metrics\",status=\"401\"}"), 2);
  EXPECT_EQ(number(samples, "headoffice_request_duration_seconds_count{endpoint=\"query\"}"), 2);
  EXPECT_EQ(number(samples, "headoffice_request_duration_seconds_bucket{endpoint=\"query\",le=\"+Inf\"}"), 2);
  EXPECT_GT(number(samples, "headoffice_request_duration_seconds_sum{endpoint=\"query\"}"), 0);
  EXPECT_EQ(number(samples, "headoffice_runs_started_total{}"), 1);
  EXPECT_EQ(number(samples, "headoffice_runs_failed_total{}"), 1);

  for (const char* log : {"PRODUCT_TEMP", "MEMBER_TEMP", "PSALE_TEMP", "PTSALE_TEMP", "GSALE_TEMP"}) {
    SCOPED_TRACE(log);
    const std::string label = std::string("{table=\"") + log + "\"}";
    EXPECT_EQ(number(samples, "headoffice_change_log_entries" + label),
              headoffice::query_value(*c, std::string("SELECT COUNT(*) FROM ") + log).integer());
  }
  const double six_years = 6.0 * 365 * 24 * 3600;
  EXPECT_GT(number(samples, "headoffice_change_log_oldest_age_seconds{table=\"PRODUCT_TEMP\"}"), six_years);
  EXPECT_LT(number(samples, "headoffice_change_log_oldest_age_seconds{table=\"MEMBER_TEMP\"}"), six_years);
  EXPECT_EQ(number(samples, "headoffice_change_log_entries{table=\"GSALE_TEMP\"}"), 0);
  EXPECT_EQ(number(samples, "headoffice_change_log_oldest_age_seconds{table=\"GSALE_TEMP\"}"), 0);
}

}  // namespace
}  // namespace pos::test

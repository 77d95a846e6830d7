// The fleet's status page against head offices whose terminals are real pos-updater runs: the
// JSON for a terminal in each state, sign-in refused, and the page as headless Chromium renders it.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e/store_programs.h"
#include "tests/headoffice/terminal_client.h"
#include "tests/support/process.h"
#include "tests/support/reference_service.h"
#include "tests/support/temp_folder.h"

namespace pos::test {
namespace {

using testing::ReferenceService;

std::string base64(const std::string& in) {
  static const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (std::size_t i = 0; i < in.size(); i += 3) {
    const unsigned n = (static_cast<unsigned char>(in[i]) << 16) |
                       (i + 1 < in.size() ? static_cast<unsigned char>(in[i + 1]) << 8 : 0) |
                       (i + 2 < in.size() ? static_cast<unsigned char>(in[i + 2]) : 0);
    out += digits[n >> 18 & 63];
    out += digits[n >> 12 & 63];
    out += i + 1 < in.size() ? digits[n >> 6 & 63] : '=';
    out += i + 2 < in.size() ? digits[n & 63] : '=';
  }
  return out;
}

HttpReply get(const ReferenceService& service, const std::string& path, const std::string& credentials) {
  const std::string auth = credentials.empty() ? "" : "Authorization: Basic " + base64(credentials) + "\r\n";
  return http_exchange(service.port(), "GET " + path + " HTTP/1.0\r\n" + auth + "\r\n");
}

std::string as_basic(const testing::Credential& c) { return c.user + ":" + c.password; }

// A terminal folder for `machine`, updated once (changes update) by the real program.
int run_terminal(const ReferenceService& service, const testing::TempFolder& folder, const std::string& machine) {
  const auto home = folder / machine;
  const auto made = e2e::init_terminal(service, home, machine);
  EXPECT_EQ(made.status, 0) << made.err;
  return testing::run_command(e2e::updater_command(home, "0")).status;
}

// The JSON's terminals, one a line, by machine number, in the order they stand.
std::vector<std::pair<std::string, std::string>> terminals_of(const std::string& json) {
  std::vector<std::pair<std::string, std::string>> out;
  std::istringstream lines(json);
  for (std::string line; std::getline(lines, line);) {
    const auto at = line.find("{\"machine\":\"");
    if (at == std::string::npos) continue;
    out.emplace_back(line.substr(at + 12, line.find('"', at + 12) - at - 12), line);
  }
  return out;
}

// Four terminals: 002 never asked, 004 ran but an entry logged long ago waits for it, 003's run
// got an error answer, 001 ran cleanly. Worst first: silent, behind, failing, current.
TEST(StatusPage, TheJsonNamesEachTerminalsStateWorstFirst) {
  ReferenceService service({"--scale", "small"}, "001,002,003,004", std::nullopt, "",
                           {"--fault", "error@/PRODUCT_TEMP WHERE MCH_NO = '003'/"});
  testing::TempFolder folder("ho-status");
  EXPECT_EQ(run_terminal(service, folder, "001"), 0);
  EXPECT_NE(run_terminal(service, folder, "003"), 0);
  EXPECT_EQ(run_terminal(service, folder, "004"), 0);
  service.sql(
      "INSERT INTO PRODUCT_TEMP (MCH_NO, PROD_ID, STATE, LOGGED_AT) VALUES ('004', '10000001', 'UPDATE', "
      "'2020-01-01 00:00:00')");
  // A stranger naming 001 without the password is no run of 001's.
  TerminalClient(service.port(), "001", "guess").query("SELECT * FROM MCH_ITEM WHERE MCH_NO = '001' ");

  const HttpReply reply = get(service, "/status.json", as_basic(service.viewer()));
  ASSERT_EQ(reply.status, 200) << reply.body;
  EXPECT_NE(reply.headers.find("application/json"), std::string::npos);
  const auto terminals = terminals_of(reply.body);
  ASSERT_EQ(terminals.size(), 4u) << reply.body;
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"002", "silent"}, {"004", "behind"}, {"003", "failing"}, {"001", "current"}};
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(terminals[i].second);
    EXPECT_EQ(terminals[i].first, expected[i].first);
    EXPECT_NE(terminals[i].second.find("\"state\":\"" + expected[i].second + "\""), std::string::npos);
    // The machine's name as head office keeps it, Chinese included.
    const auto name = service.rows("SELECT MCH_NAME FROM MCH_ITEM WHERE MCH_NO = '" + expected[i].first + "'");
    EXPECT_NE(terminals[i].second.find("\"name\":\"" + name.at(0).at(0) + "\""), std::string::npos);
  }
  const std::string& never = terminals[0].second;
  EXPECT_NE(never.find("\"last_seen\":null,\"last_changes_update\":null"), std::string::npos);
  const std::string& behind = terminals[1].second;
  EXPECT_NE(behind.find("\"PRODUCT_TEMP\":{\"entries\":1,\"oldest\":\"2020-01-01T00:00:00Z\"}"), std::string::npos);
  const std::string& failing = terminals[2].second;
  EXPECT_NE(failing.find("\"last_run_error\":\"injected fault: error\""), std::string::npos);
  const std::string& current = terminals[3].second;
  EXPECT_NE(current.find("\"reached_last_job\":true"), std::string::npos);
  EXPECT_NE(current.find("\"last_full_update\":null"), std::string::npos);
  EXPECT_EQ(current.find("\"last_run_requests\":null"), std::string::npos);
  EXPECT_NE(current.find("\"last_run_error\":null"), std::string::npos);

  // A nightly full update of every job is one, although it reads the change logs' deletions too.
  ASSERT_EQ(
      testing::run_command(e2e::updater_command(folder / "001", std::string("1 --jobs ") + e2e::kEveryJob)).status, 0);
  for (const auto& [machine, line] : terminals_of(get(service, "/status.json", as_basic(service.viewer())).body)) {
    if (machine != "001") continue;
    EXPECT_EQ(line.find("\"last_full_update\":null"), std::string::npos) << line;
    EXPECT_EQ(line.find("\"last_changes_update\":null"), std::string::npos) << line;
  }

  // Without credentials, or with wrong ones: 401; a terminal's own credential: 403; nothing of the fleet.
  for (const std::string& credentials : {std::string(), std::string("ops:wrong"), std::string("x:y")}) {
    for (const char* path : {"/status", "/status.json"}) {
      const HttpReply refused = get(service, path, credentials);
      SCOPED_TRACE(credentials + " " + path);
      EXPECT_EQ(refused.status, 401);
      EXPECT_NE(refused.headers.find("WWW-Authenticate: Basic"), std::string::npos) << refused.headers;
      EXPECT_EQ(refused.body.find("002"), std::string::npos) << refused.body;
    }
  }
  const HttpReply terminal = get(service, "/status.json", as_basic(service.credential("001")));
  EXPECT_EQ(terminal.status, 403);
  EXPECT_EQ(terminal.body.find("002"), std::string::npos) << terminal.body;
}

// Headless Chromium loads /status of a service with two terminals, each with entries waiting; the
// rendered text has one row a terminal, worst first, and a screenshot is kept
// (POS_STATUS_SCREENSHOT names a copy).
TEST(StatusPage, ChromiumShowsOneRowATerminalWorstFirst) {
  ReferenceService service({"--scale", "small"}, "001,002");
  testing::TempFolder folder("ho-status-browser");
  EXPECT_EQ(run_terminal(service, folder, "001"), 0);
  // Head office changes products and members since, for both; 002's entries wait longer.
  service.run_tool({"change", "products", "--count", "6", "--seed", "7"});
  service.run_tool({"change", "members", "--count", "3", "--seed", "7"});
  service.sql("UPDATE PRODUCT_TEMP SET LOGGED_AT = datetime('now', '-50 minutes') WHERE MCH_NO = '002'");
  const std::string url = "http://" + as_basic(service.viewer()) + "@" + service.address() + "/status";
  const std::string browser =
      "chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
      "--disable-background-networking --disable-component-update --disable-sync "
      "--user-data-dir=" +
      (folder / "profile").string() + " --window-size=1200,420 ";
  const testing::Outcome dom = testing::run_command(browser + "--dump-dom '" + url + "'");
  ASSERT_EQ(dom.status, 0) << "the browser did not start: " << dom.err;
  std::vector<std::string> rows;
  for (std::size_t at = dom.out.find("<tr class=\"terminal\">"); at != std::string::npos;
       at = dom.out.find("<tr class=\"terminal\">", at + 1))
    rows.push_back(dom.out.substr(at, dom.out.find("</tr>", at) - at));
  ASSERT_EQ(rows.size(), 2u) << dom.out;
  EXPECT_NE(rows[0].find("<b>002</b> 收銀台002"), std::string::npos) << rows[0];
  EXPECT_NE(rows[0].find(">silent<"), std::string::npos) << rows[0];
  EXPECT_NE(rows[1].find("<b>001</b> 收銀台001"), std::string::npos) << rows[1];
  EXPECT_NE(rows[1].find(">current<"), std::string::npos) << rows[1];

  const auto png = folder / "status.png";
  const testing::Outcome shot = testing::run_command(browser + "--screenshot=" + png.string() + " '" + url + "'");
  ASSERT_EQ(shot.status, 0) << shot.err;
  ASSERT_GT(std::filesystem::file_size(png), 1000u);
  if (const char* keep = std::getenv("POS_STATUS_SCREENSHOT"))
    std::filesystem::copy_file(png, keep, std::filesystem::copy_options::overwrite_existing);
}

}  // namespace
}  // namespace pos::test

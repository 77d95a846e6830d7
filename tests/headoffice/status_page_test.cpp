// The fleet's status page against a head office whose terminals are real pos-updater runs, one in
// each state: the JSON, and the page as headless Chromium renders it at a desktop's width and at a
// phone's (390 px), with screenshots (POS_STATUS_SCREENSHOTS names a folder that gets copies:
// status.png and status-phone.png). Who may read it.

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/store_programs.h"
#include "tests/headoffice/terminal_client.h"
#include "tests/support/process.h"
#include "tests/support/reference_service.h"
#include "tests/support/temp_folder.h"

namespace pos::test {
namespace {

using testing::ReferenceService;

HttpReply get(const ReferenceService& service, const std::string& path, const std::string& credentials) {
  return http_get(service.port(), path, credentials);
}

std::string as_basic(const testing::Credential& c) { return c.user + ":" + c.password; }

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

std::string line_of(const std::string& json, const std::string& machine) {
  for (const auto& [m, line] : terminals_of(json))
    if (m == machine) return line;
  return {};
}

// A page that lays out `html` in a frame `width` px wide (a browser window is never narrower than
// 500 px) and measures it there: the frame's width, every element that reaches past it, the colour
// of each state's badge and how a terminal's row is drawn.
std::string measuring_page(const std::string& html, int width) {
  std::string text = "\"";
  for (const char ch : html) {
    if (ch == '\\' || ch == '"')
      text += std::string("\\") + ch;
    else if (ch == '\n')
      text += "\\n";
    else if (ch == '<')
      text += "\\u003c";  // no </script> inside the script
    else
      text += ch;
  }
  text += '"';
  return R"(<!DOCTYPE html><html><head><meta charset="utf-8"></head><body style="margin:0">
<iframe id="f" style="border:0;width:)" +
         std::to_string(width) + R"(px;height:8000px"></iframe><script>
const f = document.getElementById('f');
f.onload = () => {
  const d = f.contentDocument, css = e => f.contentWindow.getComputedStyle(e);
  const w = d.documentElement.clientWidth, out = ['width=' + w];
  for (const e of d.querySelectorAll('body *')) {
    const r = e.getBoundingClientRect();
    if (r.width > 0 && (r.right > w + 1 || r.left < -1))
      out.push('cut: ' + e.tagName + '.' + e.className + ' ' + (e.textContent || '').slice(0, 40));
  }
  for (const s of ['silent', 'behind', 'failing', 'stopped', 'running', 'current'])
    out.push('colour ' + s + '=' + css(d.querySelector('dl.todo .state.' + s)).backgroundColor);
  out.push('row=' + css(d.querySelector('tr.terminal')).display);
  const pre = document.createElement('pre');
  pre.id = 'layout';
  pre.textContent = out.join('\n') + '\n';
  document.body.appendChild(pre);
};
f.srcdoc = )" +
         text + R"(;
</script></body></html>)";
}

// A fleet with a terminal in each state, worst first: 002 never asked (silent); 004 has an entry
// logged long ago (behind); 003's run got an error answer, 005 signs in with a wrong password and
// 008 has no MCH_ITEM row (failing); 006's run was stopped by SIGTERM while it waited, and its
// record is then aged by ten minutes (stopped); 007 waits on an answer now (running); 001 ran
// cleanly (current).
class StatusPage : public ::testing::Test {
 protected:
  static constexpr const char* kMachines = "001,002,003,004,005,006,007,008";

  ~StatusPage() override {
    for (pid_t pid : waiting) {
      kill(pid, SIGTERM);
      testing::finish_command(pid);
    }
  }

  std::filesystem::path home(const std::string& machine) const { return folder / machine; }

  int run_terminal(const std::string& machine) {
    const auto made = e2e::init_terminal(service, home(machine), machine);
    EXPECT_EQ(made.status, 0) << made.err;
    return testing::run_command(e2e::updater_command(home(machine), "0")).status;
  }

  std::string json() const { return get(service, "/status.json", as_basic(service.viewer())).body; }

  void make_fleet() {
    EXPECT_EQ(run_terminal("001"), 0);
    EXPECT_NE(run_terminal("003"), 0);
    EXPECT_EQ(run_terminal("004"), 0);
    service.sql(
        "INSERT INTO PRODUCT_TEMP (MCH_NO, PROD_ID, STATE, LOGGED_AT) VALUES ('004', '10000001', 'UPDATE', "
        "'2020-01-01 00:00:00')");
    ASSERT_EQ(e2e::init_terminal(service, home("005"), "005").status, 0);
    e2e::set_service_setting(home("005"), "password", "wrong");
    EXPECT_EQ(testing::run_command(e2e::updater_command(home("005"), "0")).status, 1);
    service.sql("DELETE FROM MCH_ITEM WHERE MCH_NO = '008'");
    EXPECT_EQ(run_terminal("008"), 0);

    for (const char* machine : {"006", "007"}) {
      ASSERT_EQ(e2e::init_terminal(service, home(machine), machine).status, 0);
      waiting.push_back(testing::start_command(e2e::updater_command(home(machine), "0"),
                                               (folder / (std::string(machine) + ".out")).string(),
                                               (folder / (std::string(machine) + ".err")).string()));
    }
    // Both wait on the answer about their product entries once the service has that statement.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline &&
           (statements_naming("PRODUCT_TEMP WHERE MCH_NO = '006'") == 0 ||
            statements_naming("PRODUCT_TEMP WHERE MCH_NO = '007'") == 0))
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const std::string both = json();
    for (const char* machine : {"006", "007"})
      EXPECT_NE(line_of(both, machine).find("\"state\":\"running\""), std::string::npos) << line_of(both, machine);
    kill(waiting.front(), SIGTERM);
    EXPECT_EQ(testing::finish_command(waiting.front()), 1);
    waiting.erase(waiting.begin());
    service.sql(
        "UPDATE TERMINAL_STATUS SET RUN_STARTED = datetime(RUN_STARTED, '-10 minutes'), LAST_SEEN = "
        "datetime(LAST_SEEN, '-10 minutes') WHERE MCH_NO = '006'");
  }

  int statements_naming(const std::string& text) const {
    int n = 0;
    for (const auto& s : service.statements()) n += s.text.find(text) != std::string::npos;
    return n;
  }

  // Headless Chromium at `width` x `height` px, with `args` (e.g. --dump-dom URL).
  testing::Outcome browser(int width, int height, const std::string& args) const {
    return testing::run_command(
        "chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
        "--disable-background-networking --disable-component-update --disable-sync --hide-scrollbars "
        "--user-data-dir=" +
        (folder / "profile").string() + " --window-size=" + std::to_string(width) + "," + std::to_string(height) + " " +
        args);
  }

  // The page's own HTML laid out `width` px wide: what measuring_page found.
  std::string measured(const std::string& html, int width) const {
    const auto page = folder / ("measure-" + std::to_string(width) + ".html");
    std::ofstream(page) << measuring_page(html, width);
    const testing::Outcome dom = browser(1280, 900, "--virtual-time-budget=5000 --dump-dom file://" + page.string());
    EXPECT_EQ(dom.status, 0) << dom.err;
    const auto at = dom.out.find("<pre id=\"layout\">");
    return at == std::string::npos ? dom.out : dom.out.substr(at, dom.out.find("</pre>", at) - at);
  }

  std::string url() const { return "'http://" + as_basic(service.viewer()) + "@" + service.address() + "/status'"; }

  void screenshot(const char* name, int width, int height) const {
    const auto png = folder / name;
    const testing::Outcome shot = browser(width, height, "--screenshot=" + png.string() + " " + url());
    ASSERT_EQ(shot.status, 0) << shot.err;
    ASSERT_GT(std::filesystem::file_size(png), 1000u);
    if (const char* keep = std::getenv("POS_STATUS_SCREENSHOTS"))
      std::filesystem::copy_file(png, std::filesystem::path(keep) / name,
                                 std::filesystem::copy_options::overwrite_existing);
  }

  ReferenceService service{{"--scale", "small"},
                           kMachines,
                           std::nullopt,
                           "",
                           {"--fault", "error@/PRODUCT_TEMP WHERE MCH_NO = '003'/", "--fault",
                            "hang@/PRODUCT_TEMP WHERE MCH_NO = '00[67]'/", "--fault-hang", "600"}};
  testing::TempFolder folder{"ho-status"};
  std::vector<pid_t> waiting;  // runs that wait on an answer
};

TEST_F(StatusPage, EveryStateAsJsonAndInChromiumAtDesktopAndPhoneWidth) {
  make_fleet();
  if (HasFatalFailure()) return;

  const HttpReply reply = get(service, "/status.json", as_basic(service.viewer()));
  ASSERT_EQ(reply.status, 200) << reply.body;
  EXPECT_NE(reply.headers.find("application/json"), std::string::npos);
  EXPECT_NE(reply.body.find("\"summary\":{\"terminals\":8,\"silent\":1,\"behind\":1,\"failing\":3,\"stopped\":1,"
                            "\"running\":1,\"current\":1}"),
            std::string::npos)
      << reply.body;
  const auto terminals = terminals_of(reply.body);
  const std::vector<std::pair<std::string, std::vector<std::string>>> expected = {
      {"002", {"\"state\":\"silent\"", "\"last_seen\":null,\"run\":null,\"last_changes_update\":null"}},
      {"004",
       {"\"state\":\"behind\"", "\"PRODUCT_TEMP\":{\"entries\":1,\"oldest\":\"2020-01-01T00:00:00Z\"}",
        "\"reason\":\"its oldest entry (products) has waited"}},
      {"003",
       {"\"state\":\"failing\"", "\"last_run_error\":\"injected fault: error\"",
        "\"last_error\":\"injected fault: error\",\"last_error_at\":\"20"}},
      {"005",
       {"\"state\":\"failing\"", "\"failed_sign_ins\":{\"count\":1,\"last\":\"20", "\"from\":\"127.0.0.1\"",
        "\"reason\":\"its sign-in is refused: check user_name= and password= in [set] of its httpset.ini\"",
        "\"last_seen\":null"}},
      {"008",
       {"\"state\":\"failing\"", "\"registered\":false", "\"name\":\"\"",
        "head office has no MCH_ITEM row for it and sends it nothing: headoffice-service terminals add 008"}},
      {"006", {"\"state\":\"stopped\"", "\"progress\":\"stopped\"", "stopped before its last job"}},
      {"007", {"\"state\":\"running\"", "\"progress\":\"running\"", "\"ended\":null"}},
      {"001",
       {"\"state\":\"current\"", "\"store\":\"S01\"", "\"reached_last_job\":true", "\"last_full_update\":null",
        "\"last_run_error\":null", "\"last_error\":null", "\"failed_sign_ins\":null"}},
  };
  ASSERT_EQ(terminals.size(), expected.size()) << reply.body;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(terminals[i].second);
    EXPECT_EQ(terminals[i].first, expected[i].first);
    for (const auto& fact : expected[i].second) EXPECT_NE(terminals[i].second.find(fact), std::string::npos) << fact;
    if (expected[i].first != "008") {  // the machine's name as head office keeps it, Chinese included
      const auto name = service.rows("SELECT MCH_NAME FROM MCH_ITEM WHERE MCH_NO = '" + expected[i].first + "'");
      EXPECT_NE(terminals[i].second.find("\"name\":\"" + name.at(0).at(0) + "\""), std::string::npos);
    }
  }
  EXPECT_EQ(reply.body.find("<RESULT>"), std::string::npos);

  // The page as Chromium builds it: a row a terminal in the JSON's order, the summary, a line on
  // what to do for each state.
  const testing::Outcome dom = browser(1280, 900, "--dump-dom " + url());
  ASSERT_EQ(dom.status, 0) << "the browser did not start: " << dom.err;
  std::vector<std::string> rows;
  for (std::size_t at = dom.out.find("<tr class=\"terminal\""); at != std::string::npos;
       at = dom.out.find("<tr class=\"terminal\"", at + 1))
    rows.push_back(dom.out.substr(at, dom.out.find("</tr>", at) - at));
  ASSERT_EQ(rows.size(), expected.size()) << dom.out;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const std::string state = terminals[i].second.substr(terminals[i].second.find("\"state\":\"") + 9);
    EXPECT_NE(rows[i].find("data-state=\"" + state.substr(0, state.find('"')) + "\""), std::string::npos) << rows[i];
    EXPECT_NE(rows[i].find("<b>" + expected[i].first + "</b>"), std::string::npos) << rows[i];
  }
  EXPECT_NE(rows[0].find("收銀台002"), std::string::npos) << rows[0];
  EXPECT_NE(rows[6].find("<b>running</b> since "), std::string::npos) << rows[6];
  EXPECT_NE(rows[4].find("not registered (no MCH_ITEM row)"), std::string::npos) << rows[4];
  EXPECT_NE(dom.out.find("8 terminals</b>"), std::string::npos);
  EXPECT_NE(dom.out.find("3 failing</span>"), std::string::npos);
  EXPECT_EQ(dom.out.find("&lt;RESULT&gt;"), std::string::npos);
  for (const char* todo : {"terminal-init", "pos-updater --history",
                           "user_name= and password=", "journalctl -u 'pos-updater-*'", "nothing to do"})
    EXPECT_NE(dom.out.find(todo), std::string::npos) << todo;

  // Laid out at a desktop's width and at a phone's, nothing reaches past the window; on the phone
  // a terminal is a card. Each state has a colour of its own, and silent's is no grey.
  const std::string html = get(service, "/status", as_basic(service.viewer())).body;
  for (const auto& [width, row] : {std::pair{1280, "row=table-row"}, std::pair{390, "row=block"}}) {
    const std::string layout = measured(html, width);
    SCOPED_TRACE(layout);
    EXPECT_NE(layout.find("width=" + std::to_string(width) + "\n"), std::string::npos);
    EXPECT_EQ(layout.find("cut: "), std::string::npos);
    EXPECT_NE(layout.find(row), std::string::npos);
    std::vector<std::string> colours;
    for (const char* state : {"silent", "behind", "failing", "stopped", "running", "current"}) {
      const auto at = layout.find(std::string("colour ") + state + "=");
      ASSERT_NE(at, std::string::npos) << state;
      colours.push_back(
          layout.substr(at + 8 + std::strlen(state), layout.find('\n', at) - at - 8 - std::strlen(state)));
    }
    for (std::size_t i = 0; i < colours.size(); ++i)
      for (std::size_t j = i + 1; j < colours.size(); ++j) EXPECT_NE(colours[i], colours[j]);
    int r = 0, g = 0, b = 0;
    ASSERT_EQ(std::sscanf(colours[0].c_str(), "rgb(%d, %d, %d)", &r, &g, &b), 3) << colours[0];
    EXPECT_GT(std::max({r, g, b}) - std::min({r, g, b}), 40) << "silent is drawn grey: " << colours[0];
  }
  screenshot("status.png", 1280, 1000);
  screenshot("status-phone.png", 390, 1500);

  // A nightly full update of every job is one, although it reads the change logs' deletions too.
  ASSERT_EQ(testing::run_command(e2e::updater_command(home("001"), std::string("1 --jobs ") + e2e::kEveryJob)).status,
            0);
  const std::string after = line_of(json(), "001");
  EXPECT_EQ(after.find("\"last_full_update\":null"), std::string::npos) << after;
  EXPECT_EQ(after.find("\"last_changes_update\":null"), std::string::npos) << after;
}

// Without credentials, or with wrong ones: 401; a terminal's own credential: 403; nothing of the fleet.
TEST(StatusPageAccess, OnlyViewersReadIt) {
  ReferenceService service({"--scale", "small"}, "001,002");
  // A stranger naming 001 without the password is no run of 001's.
  TerminalClient(service.port(), "001", "guess").query("SELECT * FROM MCH_ITEM WHERE MCH_NO = '001' ");
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
  const std::string own = line_of(get(service, "/status.json", as_basic(service.viewer())).body, "001");
  EXPECT_NE(own.find("\"last_seen\":null,\"run\":null"), std::string::npos) << own;
  EXPECT_NE(own.find("\"failed_sign_ins\":{\"count\":1"), std::string::npos) << own;
}

}  // namespace
}  // namespace pos::test

// Bad input reaching the jobs: every kind of answer the service may give instead of the packet a
// job asks for, and local tables that are missing or typed otherwise than expected. The run ends
// or goes on as its kind of failure says, with a message that names it, and the rows the terminal
// already had are still there.

#include <gtest/gtest.h>

#include <mutex>

#include "tests/service/loopback_server.h"
#include "tests/support/terminal.h"

namespace pos::testing {
namespace {

using Rows = std::vector<std::vector<std::string>>;

const std::string kMachineRow =
    R"(<?xml version="1.0" encoding="UTF-8"?><DATAPACKET Version="2.0"><METADATA><FIELDS>)"
    R"(<FIELD attrname="MCH_NO" fieldtype="string" WIDTH="5"/><FIELD attrname="STOCK_ID" fieldtype="string" WIDTH="8"/>)"
    R"(</FIELDS><PARAMS/></METADATA><ROWDATA><ROW MCH_NO="001" STOCK_ID="ST01"/></ROWDATA></DATAPACKET>)";

// A staff answer with the given FIELD elements and rows.
std::string staff_packet(const std::string& fields, const std::string& rows) {
  return R"(<?xml version="1.0" encoding="UTF-8"?><DATAPACKET Version="2.0"><METADATA><FIELDS>)" + fields +
         "</FIELDS></METADATA><ROWDATA>" + rows + "</ROWDATA></DATAPACKET>";
}

const std::string kStaffFields =
    R"(<FIELD attrname="EMPLOYEE_ID" fieldtype="string" WIDTH="10"/><FIELD attrname="EMPLOYEE_NAME" fieldtype="string" WIDTH="40"/>)"
    R"(<FIELD attrname="PASS_WD" fieldtype="string" WIDTH="20"/><FIELD attrname="CHK_CODE" fieldtype="string" WIDTH="20"/>)";

// The service's answers: the machine row for the opening check, "success" for scripts, and the
// answer set last for everything else (a whole raw reply when it begins with "HTTP/").
class CannedService {
 public:
  explicit CannedService(std::string answer = "") : answer_(std::move(answer)) {}
  void answer(std::string a) {
    std::lock_guard lock(mu_);
    answer_ = std::move(a);
  }
  int port() const { return server_.port(); }

 private:
  Reply reply(const std::string& request) {
    if (request.find("sql_scripts.php") != std::string::npos) return Reply{http_reply("success")};
    if (request.find("FROM MCH_ITEM") != std::string::npos) return Reply{http_reply(kMachineRow)};
    std::lock_guard lock(mu_);
    return Reply{answer_.starts_with("HTTP/") ? answer_ : http_reply(answer_)};
  }

  std::mutex mu_;
  std::string answer_;
  LoopbackServer server_{[this](const std::string& request, int) { return reply(request); }};
};

class BadAnswers : public ::testing::Test {
 protected:
  ReferenceService service;  // makes the terminal; the answers come from the loopback server
};

TEST_F(BadAnswers, EveryAnswerFormEndsTheRunWithItsMessageAndKeepsTheTable) {
  const std::string good = staff_packet(kStaffFields, R"(<ROW EMPLOYEE_ID="E1" EMPLOYEE_NAME="Ann"/>)");
  const std::string big(20u << 20, 'x');
  struct Case {
    const char* what;
    std::string answer;
    std::string ended;         // the run's error: whole when it is short, else its start
    std::string message = "";  // the message box, when one is shown
    bool in_refill = false;    // the error came while the table was refilled: the log says it is kept
  } cases[] = {
      {"an HTML error page", "<html><body><h1>Fatal error</h1></body></html>",
       "<html><body><h1>Fatal error</h1></body></html>"},
      {"an HTML page with an error status",
       http_reply("<html><body>Internal Server Error</body></html>", "500 Internal Server Error"), "silent abort",
       "HTTP/1.1 500 Internal Server Error"},
      {"an empty body", "", "The service's answer was empty."},
      {"a packet without a column",
       staff_packet(R"(<FIELD attrname="EMPLOYEE_ID" fieldtype="string" WIDTH="10"/>)", R"(<ROW EMPLOYEE_ID="E1"/>)"),
       "Field 'EMPLOYEE_NAME' not found", "", true},
      {"a value the column type cannot hold",
       staff_packet(R"(<FIELD attrname="EMPLOYEE_ID" fieldtype="date"/>)", R"(<ROW EMPLOYEE_ID="E1"/>)"),
       staff_packet(R"(<FIELD attrname="EMPLOYEE_ID" fieldtype="date"/>)", R"(<ROW EMPLOYEE_ID="E1"/>)")},
      {"an unknown column type",
       staff_packet(R"(<FIELD attrname="EMPLOYEE_ID" fieldtype="blob"/>)", R"(<ROW EMPLOYEE_ID="E1"/>)"),
       staff_packet(R"(<FIELD attrname="EMPLOYEE_ID" fieldtype="blob"/>)", R"(<ROW EMPLOYEE_ID="E1"/>)")},
      {"truncated XML", good.substr(0, good.size() - 30), good.substr(0, good.size() - 30)},
      {"a 20 MB answer that is no packet", "<html>" + big,
       "<html>" + big.substr(0, 1994) + "... (" + std::to_string(big.size() + 6) + " bytes in all)"},
  };
  CannedService canned;
  Terminal terminal(service, "001", canned.port());
  terminal.start({"1"});
  terminal.form().SQLCon_Loc.execute("INSERT INTO LOC_PERS (LAB_NO, CNAME) VALUES ('E9', 'kept')");
  for (const auto& c : cases) {
    canned.answer(c.answer);
    terminal.dialogs().clear();
    EXPECT_EQ(terminal.run(1, {1, 2}), c.ended) << c.what;
    // The timestamp and the first job's line, no more.
    EXPECT_EQ(terminal.log_lines().size(), c.in_refill ? 3u : 2u) << c.what;
    if (c.in_refill) {
      EXPECT_EQ(terminal.log_lines().back(), " LOC_PERS 未更新, 保留原有資料");
    }
    EXPECT_EQ(terminal.local_rows("SELECT LAB_NO, CNAME FROM LOC_PERS"), (Rows{{"E9", "kept"}})) << c.what;
    const auto boxes = terminal.dialogs().messages();
    if (c.message.empty()) {
      EXPECT_TRUE(boxes.empty()) << c.what;
    } else {
      EXPECT_TRUE(boxes.size() == 1 && boxes[0].find(c.message) != std::string::npos) << c.what;
    }
  }
  // The same run with a whole answer refills the table.
  canned.answer(good);
  EXPECT_EQ(terminal.run(1, {1}), "");
  EXPECT_EQ(terminal.local_rows("SELECT LAB_NO, CNAME FROM LOC_PERS"), (Rows{{"E1", "Ann"}}));
}

// Rows that arrive whole but that a local column cannot take end the run at that row; the rows
// before it stay, the terminal's other rows are untouched.
TEST_F(BadAnswers, AValueALocalColumnCannotReadEndsTheRunAtItsRow) {
  const std::string levels =
      R"(<?xml version="1.0" encoding="UTF-8"?><DATAPACKET Version="2.0"><METADATA><FIELDS>)"
      R"(<FIELD attrname="CLASS_ID" fieldtype="string" WIDTH="10"/><FIELD attrname="LEVEL_ID" fieldtype="i4"/>)"
      R"(<FIELD attrname="LO_AMT" fieldtype="r8"/><FIELD attrname="HI_AMT" fieldtype="r8"/>)"
      R"(<FIELD attrname="I_DISCOUNT" fieldtype="r8"/></FIELDS></METADATA><ROWDATA>)"
      R"(<ROW CLASS_ID="C1" LEVEL_ID="1" LO_AMT="0" HI_AMT="10" I_DISCOUNT="95"/>)"
      R"(<ROW CLASS_ID="C1" LEVEL_ID="2" LO_AMT="ten" HI_AMT="20" I_DISCOUNT="90"/>)"
      R"(<ROW CLASS_ID="C1" LEVEL_ID="3" LO_AMT="20" HI_AMT="30" I_DISCOUNT="85"/>)"
      R"(</ROWDATA></DATAPACKET>)";
  CannedService canned(levels);
  Terminal terminal(service, "001", canned.port());
  terminal.start({"1"});
  terminal.form().SQLCon_Loc.execute("INSERT INTO MEMDIS_LEVEL (CLASS_ID, LEVEL_ID, I_DISCOUNT) VALUES ('C9', 1, 70)");
  const std::string ended = terminal.run(1, {11});
  EXPECT_NE(ended.find("'ten' is not a valid number for column LO_AMT"), std::string::npos) << ended;
  EXPECT_EQ(terminal.local_rows("SELECT CLASS_ID, LEVEL_ID, I_DISCOUNT FROM MEMDIS_LEVEL ORDER BY CLASS_ID, LEVEL_ID"),
            (Rows{{"C1", "1", "95"}, {"C9", "1", "70"}}));
}

class OddLocalTables : public ::testing::Test {
 protected:
  void SetUp() override {
    service.sql(
        "INSERT INTO MCH_ITEM (MCH_NO, STOCK_ID) VALUES ('001', 'ST01');"
        "INSERT INTO EMPLOYEE VALUES ('E1', 'Ann', 'p1', 'c1');"
        "INSERT INTO WRK_ITEM VALUES ('1', 'day', 'Y', '08:00', '16:00', '8');"
        "INSERT INTO MEMDIS_LEVEL VALUES ('C1', 1, 0.125, 12.344, 95);"
        "INSERT INTO MEMDIS_LEVEL VALUES ('C1', 2, 1000, 5000, 90);"
        "INSERT INTO PROD_SALE VALUES ('P1', 'B1', 'six-pack', 6, 'box', 10.125, 9.994);");
    terminal.start({"1"});
    local("INSERT INTO LOC_PERS (LAB_NO, CNAME) VALUES ('E9', 'kept')");
  }
  void local(const std::string& sql) { terminal.form().SQLCon_Loc.execute(sql); }
  Rows rows(const std::string& sql) { return terminal.local_rows(sql); }

  ReferenceService service;
  Terminal terminal{service};
};

TEST_F(OddLocalTables, AMissingTableEndsTheRunWithItsNameAndLosesNothing) {
  local("DROP TABLE LOC_WRK");
  const std::string ended = terminal.run(0);
  EXPECT_NE(ended.find("LOC_WRK"), std::string::npos) << ended;
  EXPECT_EQ(terminal.log_lines().back(), " 班別資料傳送中...!");
  EXPECT_EQ(rows("SELECT LAB_NO, CNAME FROM LOC_PERS ORDER BY LAB_NO"), (Rows{{"E1", "Ann"}, {"E9", "kept"}}));
}

TEST_F(OddLocalTables, CharColumnsAndScaledNumbersAreWrittenAndFoundAgain) {
  local("DROP TABLE MEMDIS_LEVEL");
  local(
      "CREATE TABLE MEMDIS_LEVEL (CLASS_ID CHAR(10) NOT NULL, LEVEL_ID SMALLINT, LO_AMT NUMERIC(9,2), "
      "HI_AMT NUMERIC(9,2), I_DISCOUNT NUMERIC(5,1))");
  local("DROP TABLE LOC_PERS");
  local("CREATE TABLE LOC_PERS (LAB_NO CHAR(10) NOT NULL, CNAME CHAR(40), PASSW CHAR(20), CHK_CODE CHAR(20))");
  local("INSERT INTO LOC_PERS (LAB_NO, CNAME) VALUES ('E9', 'kept')");
  local("DROP TABLE PROD_SALE");
  local(
      "CREATE TABLE PROD_SALE (PROD_ID CHAR(20), SAL_BARCODE CHAR(20), SAL_NAME CHAR(50), PACK_QTY NUMERIC(4), "
      "SAL_UNITNAME CHAR(10), SAL_PRICE NUMERIC(9,2), VIP_PRICE NUMERIC(9,2), STOP_YN CHAR(1) DEFAULT 'N')");
  for (int run = 0; run < 2; ++run) {  // the second run finds the rows the first wrote
    ASSERT_EQ(terminal.run(0), "") << run;
    EXPECT_EQ(rows("SELECT TRIM(CLASS_ID), LEVEL_ID, LO_AMT, HI_AMT, I_DISCOUNT FROM MEMDIS_LEVEL ORDER BY LEVEL_ID"),
              (Rows{{"C1", "1", "0.13", "12.34", "95"}, {"C1", "2", "1000", "5000", "90"}}));
    EXPECT_EQ(rows("SELECT TRIM(LAB_NO), TRIM(CNAME), TRIM(PASSW) FROM LOC_PERS ORDER BY LAB_NO"),
              (Rows{{"E1", "Ann", "p1"}, {"E9", "kept", ""}}));
    EXPECT_EQ(rows("SELECT TRIM(SAL_BARCODE), TRIM(SAL_NAME), PACK_QTY, SAL_PRICE, VIP_PRICE, STOP_YN FROM PROD_SALE"),
              (Rows{{"B1", "six-pack", "6", "10.13", "9.99", "N"}}));
  }
  // A level that SMALLINT cannot hold is refused with the column's name; the run ends there.
  service.sql("INSERT INTO MEMDIS_LEVEL VALUES ('C1', 70000, 1, 2, 3);");
  const std::string ended = terminal.run(1, {11});
  EXPECT_NE(ended.find("LEVEL_ID"), std::string::npos) << ended;
  EXPECT_EQ(rows("SELECT COUNT(*) FROM MEMDIS_LEVEL"), (Rows{{"2"}}));
}

}  // namespace
}  // namespace pos::testing

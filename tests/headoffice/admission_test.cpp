// What one terminal's credential reaches at head office: the statements the terminal program
// sends, naming its own machine, and nothing else; a revoked credential nothing at all.

#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <thread>

#include "headoffice/credentials/credential_store.h"
#include "headoffice/credentials/service_role.h"
#include "headoffice/storage/database_url.h"
#include "tests/headoffice/running_service.h"
#include "tests/headoffice/terminal_client.h"
#include "tests/headoffice/test_databases.h"

namespace pos::test {
namespace {

using headoffice::open_database;
using headoffice::query_value;

struct Attack {
  const char* what;
  bool script;
  std::string sql;
};

// Attacks with terminal 001's credential, as a hostile store would make them.
const std::vector<Attack>& attacks() {
  static const std::vector<Attack> list = {
      {"002's product entries removed", false,
       "DELETE FROM PRODUCT_TEMP WHERE MCH_NO = '002' AND STATE <> 'DELETE' AND PROD_ID IN ('10000001')"},
      {"002's member entries removed", true,
       "DELETE FROM MEMBER_TEMP WHERE MCH_NO = '002' AND STATE <> 'DELETE' AND MEMBER_ID IN ('M0000001') ;"},
      {"002's promotion entries marked", true,
       "UPDATE PSALE_TEMP SET TRAN_CODE = 'W' where mch_no = '002' and STATE <> 'DELETE' ;"},
      {"every price set to 1", false, "UPDATE PRODUCT SET SALE_PRICE = 1"},
      {"a change logged for every terminal", false,
       "INSERT INTO PRODUCT_TEMP (MCH_NO, PROD_ID, STATE) SELECT MCH_NO, '10000001', 'UPDATE' FROM MCH_ITEM"},
      {"the status table wiped", true, "DELETE FROM TERMINAL_STATUS ;"},
      {"002 made to look current", false, "UPDATE TERMINAL_STATUS SET LAST_SEEN = '2099-01-01 00:00:00'"},
      {"an unlisted table read", false, "SELECT * FROM SERVICE_CREDENTIALS "},
      {"a key that is a condition", false, "SELECT * FROM VIPCARD_SUB WHERE MEMBER_ID = '' OR '1' = '1' "},
      {"a query behind a statement", false, "SELECT * FROM MCH_ITEM WHERE MCH_NO = '001' ; DELETE FROM PRODUCT_TEMP"},
      {"a comment after the shape", false, "SELECT * FROM MCH_ITEM WHERE MCH_NO = '001' -- '"},
      {"a server file read", false, "SELECT pg_read_file('/etc/passwd') "},
      {"a good line carrying a bad one", true,
       "UPDATE PSALE_TEMP SET TRAN_CODE = 'W' where mch_no = '001' and STATE <> 'DELETE' ;\r\nDELETE FROM "
       "PRODUCT_TEMP ;"},
      {"a query as a script", true, "SELECT * FROM MCH_ITEM WHERE MCH_NO = '001' "},
  };
  return list;
}

class AdmissionTest : public ::testing::Test {
 protected:
  void SetUp() override { url_ = fixture_database_url("admission"); }

  // What the attacks would change: the change logs per machine and mark, the prices, the status.
  std::string fingerprint() {
    auto c = open_database(url_)->connect();
    std::string out;
    for (const char* log : {"PRODUCT_TEMP", "MEMBER_TEMP", "PSALE_TEMP", "PTSALE_TEMP", "GSALE_TEMP"})
      for (const char* machine : {"001", "002"})
        out += query_value(*c, std::string("SELECT COUNT(*) FROM ") + log + " WHERE MCH_NO = '" + machine + "'")
                   .as_text() +
               " ";
    out += query_value(*c, "SELECT COUNT(*) FROM PSALE_TEMP WHERE TRAN_CODE = 'W'").as_text() + " ";
    out += query_value(*c, "SELECT SUM(SALE_PRICE) FROM PRODUCT").as_text() + " ";
    out += query_value(*c, "SELECT LAST_SEEN FROM TERMINAL_STATUS WHERE MCH_NO = '002'").as_text();
    return out;
  }

  HttpReply send(const TerminalClient& t, const Attack& a) {
    return a.script ? t.script(a.sql + "\r\n") : t.query(a.sql);
  }

  std::string url_;
};

// Each attack is refused with an error answer and a line in the service's log naming the client,
// the terminal and the statement's first words; nothing changes. The shared credential of an
// older fleet meets the same shapes, but may name any machine; --statements any runs them all.
TEST_F(AdmissionTest, OneTerminalsCredentialReachesOnlyWhatItsJobsSendForItself) {
  std::ostringstream refusals;
  auto options = RunningService::default_options();
  options.refusal_log = &refusals;
  {
    // A status row of 002 the attacks would wipe or change.
    auto c = open_database(url_)->connect();
    c->execute("INSERT INTO TERMINAL_STATUS (MCH_NO, LAST_SEEN) VALUES ('002', '2024-05-31 08:00:00')");
  }
  const std::string before = fingerprint();
  {
    RunningService service(url_, options);
    const TerminalClient terminal(service.port());
    for (const Attack& a : attacks()) {
      SCOPED_TRACE(a.what);
      const HttpReply r = send(terminal, a);
      EXPECT_EQ(r.status, 200);
      EXPECT_TRUE(r.body.starts_with("<RESULT>")) << r.body;
      EXPECT_NE(r.body.find("refused"), std::string::npos) << r.body;
    }
    // Its own entries it may take.
    EXPECT_EQ(
        terminal.script("UPDATE PSALE_TEMP SET TRAN_CODE = 'W' where mch_no = '001' and STATE <> 'DELETE' ;\r\n").body,
        "success");
  }
  EXPECT_NE(fingerprint(), before);  // only the mark of 001's own entry
  {
    auto c = open_database(url_)->connect();
    c->execute("UPDATE PSALE_TEMP SET TRAN_CODE = '' WHERE MCH_NO = '001'");
  }
  EXPECT_EQ(fingerprint(), before);
  EXPECT_NE(refusals.str().find("refused client=127.0.0.1 user=001 query: it names machine '002'"), std::string::npos)
      << refusals.str();
  EXPECT_NE(refusals.str().find("statement: UPDATE PRODUCT SET SALE_PRICE = 1"), std::string::npos) << refusals.str();

  options = RunningService::default_options();
  options.user = kSharedUser;
  options.password = kSharedPassword;
  {
    RunningService shared(url_, options);
    const TerminalClient anyone(shared.port(), kSharedUser, kSharedPassword);
    EXPECT_EQ(anyone.query(attacks()[0].sql).body, "OK");  // no machine of its own
    EXPECT_TRUE(anyone.query(attacks()[3].sql).body.starts_with("<RESULT>"));
  }
  options.any_statement = true;
  RunningService any(url_, options);
  EXPECT_EQ(TerminalClient(any.port()).query(attacks()[3].sql).body, "OK");
}

// Revoking a credential, or issuing it again, ends the old password within seconds in a service
// that has it verified in memory; the new one signs in.
TEST_F(AdmissionTest, ARevokedOrReissuedPasswordStopsWorkingWithinSeconds) {
  RunningService service(url_);
  const std::string own = "SELECT * FROM MCH_ITEM WHERE MCH_NO = '001' ";
  const TerminalClient terminal(service.port());
  ASSERT_TRUE(terminal.query(own).body.starts_with("<?xml"));
  auto refused_within = [&](const TerminalClient& t, std::chrono::seconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < until) {
      if (t.query(own).body.starts_with("<RESULT>")) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  };
  auto c = open_database(url_)->connect();
  headoffice::issue_credential(*c, "001", headoffice::CredentialRole::Terminal, "aNewOne2");
  EXPECT_TRUE(refused_within(terminal, std::chrono::seconds(5)));
  const TerminalClient renewed(service.port(), kMachine, "aNewOne2");
  const HttpReply signed_in = renewed.query(own);
  EXPECT_TRUE(signed_in.body.starts_with("<?xml")) << signed_in.body;
  ASSERT_TRUE(headoffice::revoke_credential(*c, "001", headoffice::CredentialRole::Terminal));
  EXPECT_TRUE(refused_within(renewed, std::chrono::seconds(5)));
}

// The role `pg-role` makes: no superuser (the service would warn of one), and nothing beyond what
// the service needs even for a statement the catalogue would let through.
TEST_F(AdmissionTest, TheServiceRoleReachesOnlyWhatTheServiceNeeds) {
  auto owner = open_database(url_)->connect();
  if (owner->backend() != headoffice::Backend::Postgres) GTEST_SKIP() << "a PostgreSQL role";
  EXPECT_TRUE(headoffice::connected_as_superuser(*owner));
  auto role = open_database(service_role_url(url_))->connect();
  EXPECT_FALSE(headoffice::connected_as_superuser(*role));
  for (const char* allowed :
       {"SELECT COUNT(*) FROM PRODUCT", "SELECT NAME FROM SERVICE_CREDENTIALS",
        "DELETE FROM PRODUCT_TEMP WHERE MCH_NO = '009'", "UPDATE GSALE_TEMP SET TRAN_CODE = 'W' WHERE MCH_NO = '009'",
        "INSERT INTO TERMINAL_STATUS (MCH_NO, LAST_SEEN) VALUES ('009', 'x') ON CONFLICT (MCH_NO) DO UPDATE SET "
        "LAST_SEEN = excluded.LAST_SEEN"})
    EXPECT_NO_THROW(role->execute(allowed)) << allowed;
  for (const char* refused :
       {"SELECT pg_read_file('/etc/hostname')", "UPDATE PRODUCT SET SALE_PRICE = 1", "DELETE FROM MEMBER",
        "INSERT INTO PRODUCT_TEMP (MCH_NO, PROD_ID, STATE) VALUES ('002', 'X', 'UPDATE')",
        "UPDATE PSALE_TEMP SET MCH_NO = '002'", "DELETE FROM SERVICE_CREDENTIALS", "CREATE TABLE X (A INTEGER)",
        "DROP TABLE PRODUCT"})
    EXPECT_THROW(role->execute(refused), headoffice::DatabaseError) << refused;
}

}  // namespace
}  // namespace pos::test

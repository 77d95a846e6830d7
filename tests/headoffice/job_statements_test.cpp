// Every statement the jobs send, through the real endpoints, against the fixture data.

#include "tests/headoffice/job_statements.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include "headoffice/storage/database_url.h"
#include "packet/row_set.h"
#include "tests/headoffice/running_service.h"
#include "tests/headoffice/terminal_client.h"
#include "tests/headoffice/test_databases.h"
#include "text/big5.h"

namespace pos::test {
namespace {

bool has_row_with(const RowSet& rows, const std::string& column, const std::string& value) {
  const std::size_t col = rows.field_index(column);
  for (std::size_t r = 0; r < rows.row_count(); ++r) {
    if (rows.value_at(r, col).as_text() == value) return true;
  }
  return false;
}

std::string field_names(const RowSet& rows) {
  std::string out;
  for (const auto& f : rows.fields()) out += (out.empty() ? "" : ",") + f.name;
  return out;
}

void check_query_answer(const JobStatement& s, const HttpReply& reply) {
  ASSERT_EQ(reply.status, 200);
  ASSERT_FALSE(reply.body.starts_with("<RESULT>")) << reply.body;
  RowSet rows;
  ASSERT_NO_THROW(rows.load(reply.body)) << reply.body.substr(0, 500);
  const Expect& e = s.expect;
  if (!e.columns.empty()) {
    std::string wanted;
    for (const auto& c : e.columns) wanted += (wanted.empty() ? "" : ",") + c;
    EXPECT_EQ(field_names(rows), wanted);
  }
  for (const auto& c : e.includes) EXPECT_TRUE(rows.find_field(c).has_value()) << "no column " << c;
  EXPECT_GE(static_cast<int>(rows.row_count()), e.min_rows);
  if (e.max_rows >= 0) {
    EXPECT_LE(static_cast<int>(rows.row_count()), e.max_rows);
  }
  for (const auto& [column, value] : e.present)
    EXPECT_TRUE(has_row_with(rows, column, value)) << column << "=" << value;
  for (const auto& [column, value] : e.absent)
    EXPECT_FALSE(has_row_with(rows, column, value)) << column << "=" << value;
  for (const auto& [column, type] : e.types) {
    EXPECT_EQ(rows.fields().at(rows.field_index(column)).type_name, type) << column;
  }
}

class JobStatementsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    url_ = new std::string(fixture_database_url("jobs"));
    // On PostgreSQL as the service's own role: every job's statement within its rights.
    service_ = new RunningService(service_role_url(*url_));
  }
  static void TearDownTestSuite() {
    delete service_;
    delete url_;
  }
  static std::string* url_;
  static RunningService* service_;
};
std::string* JobStatementsTest::url_ = nullptr;
RunningService* JobStatementsTest::service_ = nullptr;

// One changes update and one full update of every job, in job order: each answer is what the
// job needs from it, and the acknowledgements move the change logs along as the job expects.
TEST_F(JobStatementsTest, EveryStatementAnswersWhatItsJobNeeds) {
  const TerminalClient terminal(service_->port());
  for (const JobStatement& s : job_statements()) {
    SCOPED_TRACE("job " + std::to_string(s.job) + ": " + s.description + "\n" + s.text);
    switch (s.endpoint) {
      case Endpoint::Query:
        check_query_answer(s, terminal.query(s.text));
        break;
      case Endpoint::Statement: {
        const HttpReply reply = terminal.query(s.text);
        EXPECT_EQ(reply.status, 200);
        EXPECT_EQ(reply.body, s.expect.answer);
        break;
      }
      case Endpoint::Script: {
        const HttpReply reply = terminal.script(s.text + "\r\n");
        EXPECT_EQ(reply.status, 200);
        EXPECT_EQ(reply.body, s.expect.answer);
        break;
      }
    }
  }

  // Only machine 001 took entries: 002's are all still there, untaken.
  auto c = headoffice::open_database(*url_)->connect();
  for (const char* log : {"PRODUCT_TEMP", "MEMBER_TEMP", "PSALE_TEMP", "PTSALE_TEMP", "GSALE_TEMP"}) {
    SCOPED_TRACE(log);
    EXPECT_EQ(
        headoffice::query_value(*c, std::string("SELECT COUNT(*) FROM ") + log + " WHERE MCH_NO = '002'").integer(), 1);
    EXPECT_EQ(
        headoffice::query_value(*c, std::string("SELECT COUNT(*) FROM ") + log + " WHERE MCH_NO = '001'").integer(), 0);
  }
  for (const char* log : {"PSALE_TEMP", "PTSALE_TEMP", "GSALE_TEMP"}) {
    EXPECT_EQ(
        headoffice::query_value(*c, std::string("SELECT TRAN_CODE FROM ") + log + " WHERE MCH_NO = '002'").as_text(),
        "");
  }
}

// Chinese text goes in as Big5 and comes back out of the packet as the same Big5 text.
TEST_F(JobStatementsTest, Big5TextRoundTripsThroughQueriesAndPackets) {
  auto options = RunningService::default_options();
  options.any_statement = true;
  const RunningService any(*url_, options);
  const TerminalClient terminal(any.port());
  RowSet rows;
  rows.load(terminal.query("SELECT PROD_ID, PROD_NAME FROM PRODUCT WHERE PROD_ID = '10000001' ").body);
  ASSERT_EQ(rows.row_count(), 1u);
  const std::string name = rows.text("PROD_NAME");
  ASSERT_NO_THROW(big5_to_utf8(name));
  EXPECT_NE(name, rows.text("PROD_ID"));

  rows.load(terminal.query("SELECT PROD_ID FROM PRODUCT WHERE PROD_NAME = '" + name + "' ").body);
  EXPECT_TRUE(has_row_with(rows, "PROD_ID", "10000001"));

  // A Big5 value written through the query endpoint reads back unchanged.
  const std::string note = big5("常客，偏好電子發票");
  EXPECT_EQ(terminal.query("UPDATE MEMBER SET NOTE = '" + note + "' WHERE MEMBER_ID = 'M0000002'").body, "OK");
  rows.load(terminal.query("SELECT NOTE FROM MEMBER WHERE MEMBER_ID = 'M0000002' ").body);
  EXPECT_EQ(rows.text("NOTE"), note);
}

}  // namespace
}  // namespace pos::test

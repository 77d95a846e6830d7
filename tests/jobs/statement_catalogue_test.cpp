// The head-office statement catalogue and the jobs agree both ways: every statement the jobs send
// (both modes, default requests and batch=1, keys in small letters, held-back promotions, a
// designated top category or none) has the shape of a catalogue line and names its own machine,
// and every catalogue line is sent on each endpoint it names (so a job that never runs is caught);
// each run opens and ends with the lines marked so. The runs go through the service
// with admission on, so a statement outside the catalogue also fails its run.

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <numeric>
#include <set>

#include "headoffice/admission/admission.h"
#include "jobs/job_table.h"
#include "tests/headoffice/job_statements.h"
#include "tests/support/terminal.h"
#include "text/big5.h"

namespace pos::testing {
namespace {

using headoffice::Admission;
using headoffice::Endpoint;

std::string entry(const std::string& machine, const std::string& log, const std::string& key,
                  const std::string& state) {
  const bool marked = log != "PRODUCT_TEMP" && log != "MEMBER_TEMP";
  const std::string column = log == "PRODUCT_TEMP" ? "PROD_ID" : log == "MEMBER_TEMP" ? "MEMBER_ID" : "MASTERBILLID";
  return "INSERT INTO " + log + " (MCH_NO, " + column + ", STATE" + (marked ? ", TRAN_CODE" : "") + ") VALUES ('" +
         machine + "', '" + key + "', '" + state + "'" + (marked ? ", ''" : "") + ");";
}

// Head office's entries for what the runs need beyond ordinary changes: a promotion of each kind
// whose line the terminals refuse (held back) beside one they take (removed by name), member
// entries of another state and, with `small_letters`, keys in small letters (their removals go
// through the script endpoint).
std::string awkward_entries(const std::string& machine, bool small_letters) {
  std::string sql = entry(machine, "MEMBER_TEMP", "M0000003", "CHANGE");
  for (const auto& [log, prefix] : {std::pair{"PSALE_TEMP", "PS"}, {"PTSALE_TEMP", "PT"}, {"GSALE_TEMP", "GS"}}) {
    sql += entry(machine, log, std::string(prefix) + "000001", "UPDATE") +
           entry(machine, log, std::string(prefix) + "000002", "UPDATE");
    if (small_letters) sql += entry(machine, log, "x9", "UPDATE");
  }
  if (small_letters)
    sql += entry(machine, "PRODUCT_TEMP", "ab0001", "UPDATE") + entry(machine, "PRODUCT_TEMP", "ab0002", "DELETE") +
           entry(machine, "MEMBER_TEMP", "mx001", "UPDATE");
  return sql;
}

// A line of the first promotion of each kind the terminals refuse (see refuse_bad_lines).
constexpr const char* kBadLines =
    "UPDATE PSALE_SUB SET PROD_NAME = 'BAD' WHERE MASTERBILLID = 'PS000001';"
    "UPDATE PTSALE_SUB SET PROD_NAME = 'BAD' WHERE MASTERBILLID = 'PT000001';"
    "UPDATE GSALE_SUB SET PROD_NAME = 'BAD' WHERE MASTERBILLID = 'GS000001';";

void refuse_bad_lines(Terminal& terminal) {
  for (const char* table : {"PROMOTION", "PTSALE", "GPROMOTION"})
    terminal.form().SQLCon_Loc.execute(std::string("ALTER TABLE ") + table + " ADD CONSTRAINT NO_BAD_" + table +
                                       " CHECK (PROD_NAME IS DISTINCT FROM 'BAD')");
}

TEST(StatementCatalogue, TheJobsSendEveryCataloguedShapeAndNothingElse) {
  const std::string today(test::kFixtureToday);
  ReferenceService service({"--scale", "small", "--seed", std::to_string(test::kFixtureSeed), "--today", today},
                           "001,002");
  service.sql(kBadLines);
  // 001 sends the default requests and 002 batches them (batch=1).
  std::vector<std::unique_ptr<Terminal>> terminals;
  for (const char* machine : {"001", "002"}) {
    terminals.push_back(std::make_unique<Terminal>(service, machine));
    terminals.back()->fix_date(today);
  }
  std::ofstream(terminals[1]->home() / "httpset.ini", std::ios::app) << "batch=1\n";  // [set] is its last section
  std::vector<int> every_job(kJobCount);
  std::iota(every_job.begin(), every_job.end(), 0);

  std::vector<std::size_t> run_ends;  // the number of statements received when each run had ended
  const auto run = [&](Terminal& t, int mode, const std::vector<int>& jobs) {
    const std::string failure = t.run(mode, jobs);
    run_ends.push_back(service.statements().size());
    return failure;
  };
  for (auto& t : terminals) {
    ASSERT_EQ(run(*t, 1, every_job), "");  // makes every local table
    ASSERT_EQ(run(*t, 0, {}), "");         // nothing held back: removals of whole marks
    refuse_bad_lines(*t);
  }
  // Each terminal with a designated top category and without; each time head office changes
  // every kind of row and logs the awkward entries, keys in small letters the first time only
  // (a removal naming one goes as a script, one without as a statement).
  for (const bool first : {true, false}) {
    service.sql(std::string("UPDATE MCH_ITEM SET TOP_ITEMID = '") + (first ? "" : "01") + "' WHERE MCH_NO = '001';" +
                "UPDATE MCH_ITEM SET TOP_ITEMID = '" + (first ? "01" : "") + "' WHERE MCH_NO = '002';");
    for (const char* what : {"products", "members", "promotions", "anychoice", "gifts"})
      service.run_tool(
          {"change", what, "--count", "3", "--insert", "1", "--delete", "1", "--seed", "3", "--today", today});
    service.sql(awkward_entries("001", first) + awkward_entries("002", first) +
                (first ? "INSERT INTO MEMBER (MEMBER_ID, MEMBER_NAME) VALUES ('mx001', 'small');" : ""));
    for (auto& t : terminals) {
      SCOPED_TRACE(t->home().string());
      ASSERT_EQ(run(*t, 0, {}), "");
      ASSERT_EQ(run(*t, 1, every_job), "");
    }
  }
  const auto lines = headoffice::statement_catalogue();
  std::map<std::pair<std::size_t, Endpoint>, int> sent;
  const auto received = service.statements();
  ASSERT_GT(received.size(), 100u);
  for (const auto& s : received) {
    const Endpoint endpoint = s.endpoint == "script" ? Endpoint::Script : Endpoint::Query;
    const std::string text = big5_to_utf8(s.text);
    const std::string machine = text.find("'002'") != std::string::npos ? "002" : "001";
    const auto admitted = Admission::standard().admit(endpoint, text, machine);
    EXPECT_TRUE(admitted.admitted()) << s.endpoint << ": " << text << "\n" << admitted.refusal;
    if (admitted.admitted()) ++sent[{admitted.line, endpoint}];
  }
  // Head office's status records know a run by its marks: each run opens with the opening check
  // and sends the line of its last job once, as its last statement.
  std::size_t first = 0;
  for (const std::size_t end : run_ends) {
    ASSERT_LT(first, end);
    const auto mark = [&](std::size_t i) { return Admission::standard().run_mark(big5_to_utf8(received[i].text)); };
    EXPECT_EQ(mark(first), headoffice::RunMark::Opens) << big5_to_utf8(received[first].text);
    EXPECT_EQ(mark(end - 1), headoffice::RunMark::Ends)
        << "a run's last statement: " << big5_to_utf8(received[end - 1].text);
    for (std::size_t i = first; i + 1 < end; ++i)
      EXPECT_NE(mark(i), headoffice::RunMark::Ends) << "before the run's last job: " << big5_to_utf8(received[i].text);
    first = end;
  }
  for (std::size_t i = 0; i < lines.size(); ++i) {
    for (Endpoint e : {Endpoint::Query, Endpoint::Script}) {
      if (!headoffice::reaches(lines[i], e)) continue;
      EXPECT_TRUE(sent.count({i, e})) << "never sent to the " << (e == Endpoint::Query ? "query" : "script")
                                      << " endpoint: " << lines[i].job << "\n"
                                      << lines[i].text;
    }
  }
}

}  // namespace
}  // namespace pos::testing

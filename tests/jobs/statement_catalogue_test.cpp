// Every statement the jobs send is one that the head-office statement catalogue knows, so the
// catalogue, which the service's own suites run against both storages, cannot drift from the jobs.

#include <gtest/gtest.h>

#include <numeric>
#include <set>

#include "tests/headoffice/job_statements.h"
#include "tests/support/terminal.h"

namespace pos::testing {
namespace {

// The statement with every quoted value as '?' and a list of them as one: the keys differ from row
// to row, and so does the number of keys an acknowledgement names.
std::string shape(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\'') {
      out += text[i];
      continue;
    }
    // Skip to the closing apostrophe; a doubled one stands for one inside the value.
    for (++i; i < text.size(); ++i) {
      if (text[i] != '\'') continue;
      if (i + 1 < text.size() && text[i + 1] == '\'') {
        ++i;
        continue;
      }
      break;
    }
    if (out.ends_with("'?', "))
      out.resize(out.size() - 2);
    else
      out += "'?'";
  }
  return out;
}

std::string endpoint_of(test::Endpoint e) { return e == test::Endpoint::Script ? "script" : "query"; }

TEST(StatementCatalogue, EveryStatementTheJobsSendIsCatalogued) {
  ReferenceService service(
      {"--scale", "small", "--seed", std::to_string(test::kFixtureSeed), "--today", std::string(test::kFixtureToday)},
      std::string(test::kFixtureTerminals));
  std::string setup;
  for (const auto& line : test::fixture_setup()) setup += line + ";\n";
  service.sql(setup);
  Terminal terminal(service, std::string(test::kFixtureMachine));
  terminal.fix_date(std::string(test::kFixtureToday));
  std::vector<int> every_job(kJobCount);
  std::iota(every_job.begin(), every_job.end(), 0);
  ASSERT_EQ(terminal.run(0), "");
  ASSERT_EQ(terminal.run(1, every_job), "");

  std::set<std::string> known;
  for (const auto& s : test::job_statements()) known.insert(endpoint_of(s.endpoint) + " " + shape(s.text));
  const auto sent = service.statements();
  ASSERT_GT(sent.size(), 10u);
  for (const auto& s : sent) EXPECT_TRUE(known.count(s.endpoint + " " + shape(s.text))) << s.endpoint << ": " << s.text;
}

}  // namespace
}  // namespace pos::testing

#pragma once
// A sample of each statement the synchronisation jobs send to the head office, as the service
// receives it (queries and single statements upper-cased with each line break turned into a
// blank, single statements also with ';' as '-'; script lines as the job wrote them), with what
// its answer must hold for the job. The shapes the service admits are the statement catalogue's
// (headoffice/admission), which the statement catalogue test holds against the jobs.
//
// Machine 001, keys of the fixture data. Run in table order against a database made by
// `headoffice-service seed --scale small --seed 1 --terminals 001,002 --today 2024/05/31`
// followed by fixture_setup(), each answer meets its expectation: the rows walk through one
// changes update and one full update of every job.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pos::test {

inline constexpr std::string_view kFixtureToday = "2024/05/31";
inline constexpr std::string_view kFixtureMachine = "001";
inline constexpr std::string_view kFixtureTerminals = "001,002";
inline constexpr unsigned kFixtureSeed = 1;

enum class Endpoint {
  Query,      // query endpoint, a SELECT: answered with a data packet
  Statement,  // query endpoint, one UPDATE / DELETE: answered "OK"
  Script,     // script endpoint, one line: answered "success"
};

using ColumnValue = std::pair<std::string, std::string>;

struct Expect {
  std::string answer{};                 // Statement / Script: the exact answer
  std::vector<std::string> columns{};   // Query: the answer's columns, in order
  std::vector<std::string> includes{};  // Query: columns the answer must have (SELECT *)
  int min_rows = 0;
  int max_rows = -1;                   // -1: no upper bound
  std::vector<ColumnValue> present{};  // some row holds the value in the column
  std::vector<ColumnValue> absent{};   // no row holds it
  std::vector<ColumnValue> types{};    // packet field type of a column ("string", "i4", "r8")
};

struct JobStatement {
  int job;  // index in the terminal's job list; -1 for the run's opening check
  std::string description;
  Endpoint endpoint;
  std::string text;  // the "sql" field; a script line without its CR LF
  Expect expect;
};

const std::vector<JobStatement>& job_statements();

// Script lines that put the change-log entries (and the deletions they stand for) into the
// freshly seeded fixture database. Entries are written for 001 and 002; the statements only
// ever take those of 001.
const std::vector<std::string>& fixture_setup();

}  // namespace pos::test

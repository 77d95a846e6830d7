// What admission costs a request: every catalogue line made into a statement as a terminal sends
// it ({machine} '001', {value} a key, {values} a list of `--keys` keys), admitted again and again;
// the time per statement, for the typical ones and for the longest list. Run on demand:
//   admission_bench [--keys 250] [--rounds 20000]

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "headoffice/admission/admission.h"
#include "headoffice/admission/statement_catalogue.h"

namespace ho = pos::headoffice;
using Clock = std::chrono::steady_clock;

namespace {

std::string instance(const ho::CatalogueLine& line, int keys) {
  std::string list = "(";
  for (int i = 0; i < keys; ++i) list += (i ? ", '" : "'") + std::to_string(10000001 + i) + "'";
  list += ")";
  std::string text = ho::expanded_text(line);
  for (const auto& [hole, value] :
       {std::pair<std::string, std::string>{"{machine}", "'001'"}, {"{values}", list}, {"{value}", "'10000001'"}})
    for (auto at = text.find(hole); at != std::string::npos; at = text.find(hole, at + value.size()))
      text.replace(at, hole.size(), value);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"the time the statement catalogue takes to admit a statement"};
  int keys = 250, rounds = 20000;
  app.add_option("--keys", keys, "keys in a {values} list")->check(CLI::Range(1, 10000));
  app.add_option("--rounds", rounds, "admissions of each statement")->check(CLI::PositiveNumber);
  CLI11_PARSE(app, argc, argv);

  const ho::Admission& admission = ho::Admission::standard();
  const std::string machine = "001";
  struct Measured {
    double ns;
    std::size_t bytes;
    std::string job;
  };
  std::vector<Measured> typical, lists;
  for (const auto& line : ho::statement_catalogue()) {
    const std::string sql = instance(line, keys);
    const ho::Endpoint endpoint = ho::reaches(line, ho::Endpoint::Query) ? ho::Endpoint::Query : ho::Endpoint::Script;
    if (!admission.admit(endpoint, sql, machine).admitted()) {
      std::fprintf(stderr, "not admitted: %s\n", sql.c_str());
      return 1;
    }
    const auto start = Clock::now();
    std::size_t admitted = 0;
    for (int i = 0; i < rounds; ++i) admitted += admission.admit(endpoint, sql, machine).admitted();
    const double ns = std::chrono::duration<double, std::nano>(Clock::now() - start).count() / rounds;
    if (admitted != static_cast<std::size_t>(rounds)) return 1;
    (std::string(line.text).find("{values}") != std::string::npos ? lists : typical)
        .push_back({ns, sql.size(), std::string(line.job)});
  }
  const auto report = [](const char* what, std::vector<Measured> m) {
    std::sort(m.begin(), m.end(), [](const Measured& a, const Measured& b) { return a.ns < b.ns; });
    std::printf("%-30s %3zu shapes: median %6.2f us, slowest %6.2f us (%zu bytes: %s)\n", what, m.size(),
                m[m.size() / 2].ns / 1000, m.back().ns / 1000, m.back().bytes, m.back().job.c_str());
  };
  report("one value or none", typical);
  char label[64];
  std::snprintf(label, sizeof label, "a list of %d keys", keys);
  report(label, lists);

  const std::string stranger = "SELECT * FROM EMPLOYEE WHERE EMPLOYEE_ID = 'E0001' OR 1 = 1";
  const auto start = Clock::now();
  for (int i = 0; i < rounds; ++i) (void)admission.admit(ho::Endpoint::Query, stranger, machine);
  std::printf("%-30s            %6.2f us\n", "a statement refused",
              std::chrono::duration<double, std::micro>(Clock::now() - start).count() / rounds);
  return 0;
}

#pragma once
// Faults served on purpose, for tests that break the link between a terminal and head office.
// A rule names a kind and either a request number (requests to either endpoint, counted from 1
// in arrival order) or a pattern that the statement text is searched for.

#include <atomic>
#include <chrono>
#include <optional>
#include <regex>
#include <string>
#include <vector>

namespace pos::headoffice {

enum class FaultKind {
  http500,   // HTTP 500, the statement not run
  error,     // an error answer ("<RESULT>..."), the statement not run
  truncate,  // the statement runs; the connection closes half-way through the answer
  garbage,   // the statement runs; the answer's bytes are replaced by noise of the same length
  hang,      // the statement runs; the answer waits for the hang time first
  drop,      // the statement runs; the connection closes before the answer's body
};

struct FaultRule {
  FaultKind kind = FaultKind::http500;
  long request = 0;  // 0: the pattern decides
  std::string pattern_text;
  std::optional<std::regex> pattern;
};

// "KIND@N" or "KIND@/REGEX/"; throws std::invalid_argument saying what is wrong.
FaultRule parse_fault_rule(const std::string& spec);
const char* fault_name(FaultKind kind);

class FaultPlan {
 public:
  void add(FaultRule rule) { rules_.push_back(std::move(rule)); }
  bool empty() const { return rules_.empty(); }

  // Numbers the next request and returns the fault it gets, if any. Safe from any thread.
  std::optional<FaultKind> next(const std::string& statement);

  std::chrono::milliseconds hang{60000};

 private:
  std::vector<FaultRule> rules_;
  std::atomic<long> requests_{0};
};

}  // namespace pos::headoffice

#include "headoffice/fault_plan.h"

#include <array>
#include <stdexcept>
#include <utility>

namespace pos::headoffice {
namespace {

constexpr std::array<std::pair<const char*, FaultKind>, 6> kKinds{{{"http500", FaultKind::http500},
                                                                   {"error", FaultKind::error},
                                                                   {"truncate", FaultKind::truncate},
                                                                   {"garbage", FaultKind::garbage},
                                                                   {"hang", FaultKind::hang},
                                                                   {"drop", FaultKind::drop}}};

}  // namespace

const char* fault_name(FaultKind kind) {
  for (const auto& [name, k] : kKinds)
    if (k == kind) return name;
  return "?";
}

FaultRule parse_fault_rule(const std::string& spec) {
  const auto at = spec.find('@');
  if (at == std::string::npos) throw std::invalid_argument("fault '" + spec + "': expected KIND@N or KIND@/PATTERN/");
  FaultRule rule;
  const std::string kind = spec.substr(0, at);
  bool known = false;
  for (const auto& [name, k] : kKinds) {
    if (kind == name) {
      rule.kind = k;
      known = true;
    }
  }
  if (!known)
    throw std::invalid_argument("fault '" + spec +
                                "': the kind is one of http500, error, truncate, garbage, hang, drop");
  const std::string where = spec.substr(at + 1);
  if (where.size() >= 2 && where.front() == '/' && where.back() == '/') {
    rule.pattern_text = where.substr(1, where.size() - 2);
    try {
      rule.pattern.emplace(rule.pattern_text, std::regex::ECMAScript | std::regex::optimize);
    } catch (const std::regex_error& e) {
      throw std::invalid_argument("fault '" + spec + "': bad pattern: " + e.what());
    }
    return rule;
  }
  std::size_t used = 0;
  try {
    rule.request = std::stol(where, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used == 0 || used != where.size() || rule.request < 1)
    throw std::invalid_argument("fault '" + spec + "': the request number must be 1 or more");
  return rule;
}

std::optional<FaultKind> FaultPlan::next(const std::string& statement) {
  const long number = ++requests_;
  for (const FaultRule& rule : rules_) {
    if (rule.request != 0 ? rule.request == number : std::regex_search(statement, *rule.pattern)) return rule.kind;
  }
  return std::nullopt;
}

}  // namespace pos::headoffice

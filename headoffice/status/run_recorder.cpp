#include "headoffice/status/run_recorder.h"

#include <cctype>
#include <ctime>
#include <vector>

#include "headoffice/status/utc_time.h"
#include "text/ascii.h"

namespace pos::headoffice {
namespace {

// A run whose terminal asked nothing for this long is over, even without its last job.
constexpr auto kRunPause = std::chrono::seconds(60);
constexpr std::size_t kErrorWidth = 200;

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  return s;
}

bool has(const std::string& upper, const char* text) { return upper.find(text) != std::string::npos; }

// The products, the members or today's promotions fetched whole: only a full update does that (a
// full update reads the deletions of the change logs too, so reading a log tells nothing).
bool fetches_whole_table(const std::string& upper) {
  if (!upper.starts_with("SELECT")) return false;
  if (has(upper, " FROM PRODUCT ") || upper.ends_with(" FROM PRODUCT"))
    return !has(upper, "WHERE PROD_ID") && !has(upper, "WHERE UPPER(PROD_ID)");
  if (has(upper, "FROM MEMBER A LEFT OUTER JOIN MEMBER_CLASS"))
    return !has(upper, "WHERE A.MEMBER_ID") && !has(upper, "WHERE UPPER(A.MEMBER_ID)");
  return has(upper, "BETWEEN A.INI_DATE AND A.END_DATE");
}

// What only a changes update sends: the promotions' marking, the products' and members' changed
// entries listed.
bool takes_logged_changes(const std::string& upper) {
  if (has(upper, "SET TRAN_CODE = 'W'")) return true;
  if (!upper.starts_with("SELECT")) return false;
  return (has(upper, "FROM PRODUCT_TEMP") && has(upper, "STATE <> 'DELETE'")) ||
         (has(upper, "FROM MEMBER_TEMP") && has(upper, "STATE = 'UPDATE' OR STATE = 'INSERT'"));
}

// `text` cut to `width` bytes without splitting a UTF-8 character.
std::string cut_utf8(std::string text, std::size_t width) {
  if (text.size() <= width) return text;
  std::size_t at = width;
  while (at > 0 && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) --at;
  return text.substr(0, at);
}

}  // namespace

std::string RunRecorder::machine_named(std::string_view statement) {
  const std::string upper = ascii_upper(statement);
  const auto at = upper.find("MCH_NO");
  if (at == std::string::npos) return {};
  std::size_t i = at + 6;
  while (i < upper.size() && upper[i] == ' ') ++i;
  if (i >= upper.size() || upper[i] != '=') return {};
  ++i;
  while (i < upper.size() && upper[i] == ' ') ++i;
  if (i >= upper.size() || upper[i] != '\'') return {};
  const auto close = statement.find('\'', i + 1);
  if (close == std::string_view::npos || close - i - 1 > 10 || close == i + 1) return {};
  return std::string(statement.substr(i + 1, close - i - 1));
}

void RunRecorder::answered(const std::string& client, const std::string& signed_in, std::string_view statement,
                           const std::optional<std::string>& error) {
  std::string machine = signed_in.empty() ? machine_named(statement) : signed_in;
  const std::string upper = ascii_upper(trimmed(statement));
  std::optional<Write> due;
  Run copy;
  {
    std::lock_guard lock(mutex_);
    if (machine.empty()) {
      const auto known = machine_of_client_.find(client);
      if (known == machine_of_client_.end()) return;
      machine = known->second;
    } else {
      machine_of_client_[client] = machine;
    }
    Run& run = runs_[machine];
    const auto now = Clock::now();
    const bool opening = upper.starts_with("SELECT * FROM MCH_ITEM WHERE MCH_NO");
    if (opening && (!run.begun || run.ended || now - run.last > kRunPause)) {
      run = Run{};
      run.begun = true;
      due = Write::Begin;
    }
    ++run.requests;
    run.last = now;
    run.whole_tables = run.whole_tables || fetches_whole_table(upper);
    run.logged = run.logged || takes_logged_changes(upper);
    if (error && !run.error_kept) {
      run.error_kept = true;
      due = Write::Error;
    }
    if (!run.ended && upper.find("FROM SMARTCARD_DATA") != std::string::npos) {
      run.ended = true;
      due = Write::End;
    }
    copy = run;
  }
  if (due) write(*due, machine, copy, error);
}

void RunRecorder::write(Write what, const std::string& machine, const Run& run,
                        const std::optional<std::string>& error) {
  const std::string now = utc_text(std::time(nullptr));
  const Value none;
  try {
    auto c = pool_.borrow();
    if (what == Write::Begin) {
      // Another process that answers this terminal sees the same opening statement again in the
      // run's first job: a run begun less than kRunPause ago and not ended is left as it is.
      const std::string recent = utc_text(std::time(nullptr) - std::chrono::seconds(kRunPause).count());
      const std::vector<Value> params{Value(machine), Value(now), Value(now), Value(recent)};
      c->execute(
          "INSERT INTO TERMINAL_STATUS (MCH_NO, LAST_SEEN, RUN_STARTED) VALUES (?, ?, ?) ON CONFLICT (MCH_NO) DO "
          "UPDATE SET LAST_SEEN = excluded.LAST_SEEN, RUN_STARTED = excluded.RUN_STARTED, RUN_KIND = NULL, "
          "RUN_ENDED = NULL, RUN_REQUESTS = NULL, RUN_ERROR = NULL WHERE TERMINAL_STATUS.RUN_ENDED IS NOT NULL OR "
          "TERMINAL_STATUS.RUN_STARTED IS NULL OR TERMINAL_STATUS.RUN_STARTED < ?",
          params, nullptr);
      return;
    }
    const std::string kind = run.logged && !run.whole_tables ? "changes" : "full";
    const Value ended = what == Write::End ? Value(now) : none;
    const Value reached = Value(what == Write::End ? 1 : 0);
    const Value error_text = error ? Value(cut_utf8(*error, kErrorWidth)) : none;
    const Value errored(error ? 1 : 0);
    const std::vector<Value> params{Value(now),  Value(kind), Value(static_cast<std::int64_t>(run.requests)),
                                    ended,       error_text,  error_text,
                                    errored,     Value(now),  Value(kind),
                                    Value(kind), reached,     Value(kind),
                                    Value(kind), reached,     Value(machine)};
    const std::string sql =
        "UPDATE TERMINAL_STATUS SET LAST_SEEN = ?, RUN_KIND = ?, RUN_REQUESTS = ?, RUN_ENDED = ?, "
        "RUN_ERROR = COALESCE(RUN_ERROR, ?), LAST_ERROR = COALESCE(?, LAST_ERROR), "
        "LAST_ERROR_AT = CASE WHEN ? = 1 THEN ? ELSE LAST_ERROR_AT END, "
        "CHANGES_STARTED = CASE WHEN ? = 'changes' THEN RUN_STARTED ELSE CHANGES_STARTED END, "
        "CHANGES_ENDED = CASE WHEN ? = 'changes' THEN ? ELSE CHANGES_ENDED END, "
        "FULL_STARTED = CASE WHEN ? = 'full' THEN RUN_STARTED ELSE FULL_STARTED END, "
        "FULL_ENDED = CASE WHEN ? = 'full' THEN ? ELSE FULL_ENDED END "
        "WHERE MCH_NO = ?";
    if (c->execute(sql, params, nullptr).count == 0) {
      // The run began where this process did not see it (another process, or before a restart).
      const std::vector<Value> row{Value(machine), Value(now), Value(now)};
      c->execute("INSERT INTO TERMINAL_STATUS (MCH_NO, LAST_SEEN, RUN_STARTED) VALUES (?, ?, ?)", row, nullptr);
      c->execute(sql, params, nullptr);
    }
  } catch (const std::exception&) {
    // The status is a record beside the terminals' work: a failure to keep it never fails them.
  }
}

}  // namespace pos::headoffice

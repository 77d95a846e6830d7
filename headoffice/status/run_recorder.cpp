#include "headoffice/status/run_recorder.h"

#include <cctype>
#include <ctime>
#include <vector>

#include "headoffice/admission/admission.h"
#include "headoffice/status/error_text.h"
#include "headoffice/status/utc_time.h"
#include "text/ascii.h"

namespace pos::headoffice {
namespace {

// A run whose terminal asked nothing for this long is over, even without its last job.
constexpr auto kRunPause = std::chrono::seconds(60);
// While a run goes, that its terminal still asks is written this often.
constexpr auto kSeenEvery = std::chrono::seconds(60);
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
  const RunMark mark = Admission::standard().run_mark(statement);
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
    const bool opening = mark == RunMark::Opens;
    if (opening && (!run.begun || run.ended || now - run.last > kRunPause)) {
      run = Run{};
      run.begun = true;
      due = Write::Begin;
      ++started_;
    }
    ++run.requests;
    run.last = now;
    run.whole_tables = run.whole_tables || fetches_whole_table(upper);
    run.logged = run.logged || takes_logged_changes(upper);
    if (error && !run.error_kept) {
      run.error_kept = true;
      due = Write::Error;
      ++failed_;
    }
    if (!run.ended && mark == RunMark::Ends) {
      run.ended = true;
      due = Write::End;
    }
    if (!due && !run.ended && now - run.written >= kSeenEvery) due = Write::Seen;
    if (due) run.written = now;
    copy = run;
  }
  if (due) write(*due, machine, copy, error);
}

void RunRecorder::write(Write what, const std::string& machine, const Run& run,
                        const std::optional<std::string>& error) {
  const std::time_t now_t = std::time(nullptr);
  const std::string now = utc_text(now_t);
  const Value none;
  try {
    auto c = pool_.borrow();
    if (what == Write::Begin) {
      // Another process that answers this terminal sees the same opening statement again in the
      // run's first job: a run begun less than kRunPause ago and not ended is left as it is.
      const std::string recent = utc_text(now_t - std::chrono::seconds(kRunPause).count());
      const std::vector<Value> params{Value(machine), Value(now), Value(now), Value(recent)};
      c->execute(
          "INSERT INTO TERMINAL_STATUS (MCH_NO, LAST_SEEN, RUN_STARTED) VALUES (?, ?, ?) ON CONFLICT (MCH_NO) DO "
          "UPDATE SET LAST_SEEN = excluded.LAST_SEEN, RUN_STARTED = excluded.RUN_STARTED, RUN_KIND = NULL, "
          "RUN_ENDED = NULL, RUN_REQUESTS = NULL, RUN_ERROR = NULL WHERE TERMINAL_STATUS.RUN_ENDED IS NOT NULL OR "
          "TERMINAL_STATUS.RUN_STARTED IS NULL OR TERMINAL_STATUS.RUN_STARTED < ?",
          params, nullptr);
      return;
    }
    if (what == Write::Seen) {
      const std::vector<Value> params{Value(now), Value(machine)};
      c->execute("UPDATE TERMINAL_STATUS SET LAST_SEEN = ? WHERE MCH_NO = ?", params, nullptr);
      return;
    }
    const bool ending = what == Write::End;
    const std::vector<Value> key{Value(machine)};
    const Value began = query_value(*c, "SELECT RUN_STARTED FROM TERMINAL_STATUS WHERE MCH_NO = ?", key);
    const auto took = began.is_null() ? std::nullopt : seconds_between(began.as_text(), now);
    const Value seconds = ending && took ? Value(static_cast<std::int64_t>(*took)) : none;
    // Before its end a run is of a kind only once it has fetched or taken what tells.
    const Value kind = !ending && !run.logged && !run.whole_tables ? none
                       : run.logged && !run.whole_tables           ? Value(std::string("changes"))
                                                                   : Value(std::string("full"));
    const Value error_text = error ? Value(cut_utf8(readable_error(*error), kErrorWidth)) : none;
    const Value errored(error ? 1 : 0), ended(ending ? 1 : 0);
    // The last error stays until a run reaches its last job without one.
    const std::vector<Value> params{Value(now),
                                    kind,
                                    Value(static_cast<std::int64_t>(run.requests)),
                                    ending ? Value(now) : none,
                                    errored,
                                    error_text,
                                    ended,
                                    errored,
                                    Value(now),
                                    ended,
                                    error_text,
                                    kind,
                                    kind,
                                    ended,
                                    kind,
                                    ended,
                                    seconds,
                                    kind,
                                    kind,
                                    ended,
                                    kind,
                                    ended,
                                    seconds,
                                    Value(machine)};
    const std::string sql =
        "UPDATE TERMINAL_STATUS SET LAST_SEEN = ?, RUN_KIND = ?, RUN_REQUESTS = ?, RUN_ENDED = ?, "
        "LAST_ERROR = CASE WHEN ? = 1 THEN ? WHEN ? = 1 AND RUN_ERROR IS NULL THEN NULL ELSE LAST_ERROR END, "
        "LAST_ERROR_AT = CASE WHEN ? = 1 THEN ? WHEN ? = 1 AND RUN_ERROR IS NULL THEN NULL ELSE LAST_ERROR_AT END, "
        "RUN_ERROR = COALESCE(RUN_ERROR, ?), "
        "CHANGES_STARTED = CASE WHEN ? = 'changes' THEN RUN_STARTED ELSE CHANGES_STARTED END, "
        "CHANGES_ENDED = CASE WHEN ? = 'changes' THEN ? ELSE CHANGES_ENDED END, "
        "CHANGES_SECONDS = CASE WHEN ? = 'changes' AND ? = 1 THEN ? ELSE CHANGES_SECONDS END, "
        "FULL_STARTED = CASE WHEN ? = 'full' THEN RUN_STARTED ELSE FULL_STARTED END, "
        "FULL_ENDED = CASE WHEN ? = 'full' THEN ? ELSE FULL_ENDED END, "
        "FULL_SECONDS = CASE WHEN ? = 'full' AND ? = 1 THEN ? ELSE FULL_SECONDS END "
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

void RunRecorder::sign_in_refused(const std::string& client, const std::string& user) {
  if (user.empty() || user.size() > 5) return;  // no machine number
  const std::string now = utc_text(std::time(nullptr));
  // A refusal after the terminal last signed in begins a new count.
  const std::vector<Value> params{Value(user), Value(now), Value(client.substr(0, 64)), Value(user), Value(user)};
  try {
    auto c = pool_.borrow();
    c->execute(
        "INSERT INTO TERMINAL_STATUS (MCH_NO, FAILED_SIGN_INS, LAST_FAILED_SIGN_IN, FAILED_SIGN_IN_FROM) "
        "SELECT CAST(? AS VARCHAR(5)), 1, CAST(? AS VARCHAR(19)), CAST(? AS VARCHAR(64)) "
        "WHERE EXISTS (SELECT 1 FROM MCH_ITEM WHERE MCH_NO = ?) "
        "OR EXISTS (SELECT 1 FROM SERVICE_CREDENTIALS WHERE NAME = ? AND ROLE = 'terminal') "
        "ON CONFLICT (MCH_NO) DO UPDATE SET FAILED_SIGN_INS = CASE WHEN TERMINAL_STATUS.LAST_SEEN > "
        "TERMINAL_STATUS.LAST_FAILED_SIGN_IN THEN 1 ELSE COALESCE(TERMINAL_STATUS.FAILED_SIGN_INS, 0) + 1 END, "
        "LAST_FAILED_SIGN_IN = excluded.LAST_FAILED_SIGN_IN, FAILED_SIGN_IN_FROM = excluded.FAILED_SIGN_IN_FROM",
        params, nullptr);
  } catch (const std::exception&) {
    // As above: a record beside the work.
  }
}

}  // namespace pos::headoffice

#include "bench/fleet/simulated_terminal.h"

#include <chrono>
#include <fstream>
#include <functional>
#include <utility>

#include "jobs/changes_update_texts.h"
#include "jobs/kit/log_keys.h"
#include "jobs/kit/row_loop.h"
#include "jobs/kit/run_context.h"
#include "localdb/connection.h"
#include "localdb/local_query.h"
#include "localdb/table_cursor.h"
#include "packet/row_set.h"
#include "service/data_mod_http.h"
#include "service/message_box.h"

namespace pos::fleet {

namespace {

using Clock = std::chrono::steady_clock;

double ms_since(Clock::time_point t0) { return std::chrono::duration<double, std::milli>(Clock::now() - t0).count(); }

// A failed request shows its message before the run ends: kept as the run's error.
class KeptMessages : public MessageBoxes {
 public:
  void show_message(const std::string& text) override {
    if (first.empty()) first = text;
  }
  std::string first;
};

// What a terminal's form lends a run, apart from a local database: the answers, the lines being
// sent, the log and the progress bar. The local statement and cursors are there only because the
// run's context names them; nothing here opens them.
struct RunParts {
  explicit RunParts(TDataModHttp& http, const std::string& machine, const std::string& today,
                    const std::filesystem::path& folder)
      : ctx{.mode = UpdateMode::Changes,
            .today = today,
            .machine = machine,
            .script = script,
            .log = log,
            .progress = progress,
            .answer = answer,
            .entries = entries,
            .sub_cards = sub_cards,
            .product_changes = product_changes,
            .local = none,
            .statement = statement,
            .row_cursor = row_cursor,
            .card_cursor = card_cursor,
            .service = http,
            .terminal_folder = folder} {
    ctx.counters = &counters;
  }

  std::vector<std::string> script;
  RunLog log;
  ProgressBar progress;
  RowSet answer, entries, sub_cards, product_changes;
  LocalConnection none;
  LocalQuery statement{none};
  TableCursor row_cursor{none}, card_cursor{none};
  JobCounters counters;
  RunContext ctx;
};

// One run's steps, in the jobs' order, over the kit's service steps.
class Run {
 public:
  Run(RunParts& parts, std::map<std::string, std::set<std::string>>& taken, FetchWatcher* watcher, RunReport& report)
      : p_(parts), ctx_(parts.ctx), taken_(taken), watcher_(watcher), report_(report) {}

  void every_job() {
    const std::string& m = ctx_.machine;
    query(p_.answer, opening_check_query(m));
    p_.answer.value("STOCK_ID");  // the opening check's answer must have it

    // 0: products.
    query(p_.answer, categories_query());
    query(p_.answer, designated_top_query(m));
    const std::string top = p_.answer.text("TOP_ITEMID");
    take_log(p_.answer, deleted_products(m), nullptr, nullptr);
    {
      KeyedFetch products = keyed(product_query(top));
      take_log(
          p_.product_changes, changed_products(m),
          [&](const std::vector<std::string>& keys) { prefetch(products, keys); },
          [&](const std::string& key) {
            fetch(products, p_.answer, key);
            if (watcher_) watcher_->product(key, p_.answer);
          });
    }
    // 1, 2, 4, 5: whole tables.
    query(p_.answer, staff_query());
    query(p_.answer, shifts_query());
    for (const auto& q : invoice_word_queries(m)) query(p_.answer, q);
    query(p_.answer, bundles_query());
    // 6: sales promotions.
    marked_log(sales_promotion_log(m));
    // 7: members, then the class discounts.
    take_log(p_.answer, deleted_members(m), nullptr, nullptr);
    {
      KeyedFetch members = keyed(member_query());
      KeyedFetch cards = keyed(sub_card_query());
      take_log(
          p_.entries, changed_members(m),
          [&](const std::vector<std::string>& keys) {
            prefetch(members, keys);
            prefetch(cards, members.prefetched_keys());
          },
          [&](const std::string& key) {
            fetch(members, p_.answer, key);
            if (watcher_) watcher_->member(key, p_.answer);
            if (p_.answer.row_count() == 0) return;
            fetch(cards, p_.sub_cards, p_.answer.text("MEMBER_ID"));
          });
    }
    remove_listed(other_member_entries(m));
    query(p_.answer, class_discounts_query());
    // 8: any-choice promotions.
    marked_log(any_choice_log(m));
    // 9, 10, 11: whole tables.
    query(p_.answer, machines_query());
    for (const auto& q : keyboard_queries()) query(p_.answer, q);
    query(p_.answer, discount_levels_query());
    // 12: points settings, then the gift promotions.
    query(p_.answer, points_query(ctx_.today));
    marked_log(gift_log(m));
    // 14: stopped stored-value cards, the last job.
    query(p_.answer, card_stops_query());
  }

 private:
  using Prefetch = std::function<void(const std::vector<std::string>&)>;
  using Apply = std::function<void(const std::string&)>;

  void query(RowSet& answer, std::vector<std::string> lines) {
    const auto t0 = Clock::now();
    service_query(ctx_, answer, std::move(lines));
    report_.request_ms.push_back(ms_since(t0));
  }

  void statement(const ServiceStatement& s) {
    const auto t0 = Clock::now();
    send(ctx_, s);
    report_.request_ms.push_back(ms_since(t0));
  }

  void named_removal(const ServiceStatement& remove, const char* key, const std::vector<std::string>& keys) {
    const auto t0 = Clock::now();
    remove_named(ctx_, remove, key, keys);
    report_.request_ms.push_back(ms_since(t0));
  }

  // A keyed fetch whose requests are timed: from the moment it sends to the moment it returns.
  KeyedFetch keyed(KeyedQuery q) {
    q.before_request = [this](const std::vector<std::string>&) { sent_ = Clock::now(); };
    return KeyedFetch(ctx_, std::move(q));
  }
  void timed(const std::function<void()>& f) {
    sent_.reset();
    try {
      f();
    } catch (...) {
      if (sent_) report_.request_ms.push_back(ms_since(*sent_));
      throw;
    }
    if (sent_) report_.request_ms.push_back(ms_since(*sent_));
  }
  void prefetch(KeyedFetch& f, const std::vector<std::string>& keys) {
    timed([&] { f.prefetch(keys); });
  }
  void fetch(KeyedFetch& f, RowSet& answer, const std::string& key) {
    timed([&] { f.fetch(answer, key); });
  }

  // Read, remove, apply: keys remembered by an earlier run first, then the listed entries, chunk by
  // chunk: remembered, removed by name, fetched (`prefetch`, then `apply` per listed row), and
  // forgotten unless their row failed.
  void take_log(RowSet& list, const LoggedKeys& log, const Prefetch& before_chunk, const Apply& apply) {
    std::set<std::string>& remembered = taken_[log.taken_as];
    if (!remembered.empty()) {
      list.reset({PacketField{log.key}});
      for (const auto& k : remembered) {
        list.begin_row();
        list.set_raw(0, k);
        list.end_row();
      }
      list.first();
      take_in_chunks(list, log, before_chunk, apply);
    }
    query(list, log.list);
    take_in_chunks(list, log, before_chunk, apply);
  }

  void take_in_chunks(RowSet& list, const LoggedKeys& log, const Prefetch& before_chunk, const Apply& apply) {
    std::set<std::string>& remembered = taken_[log.taken_as];
    while (!list.eof()) {
      std::vector<std::string> keys = next_chunk_keys(list, log.key);
      if (!keys.empty()) {
        remembered.insert(keys.begin(), keys.end());
        named_removal(log.remove, log.key, keys);
      }
      if (before_chunk) before_chunk(keys);
      const std::set<std::string> failed = apply_rows(list, log.key, apply);
      for (const auto& k : keys)
        if (!failed.count(k)) remembered.erase(k);
    }
  }

  // The next chunk of rows of `list`; returns the keys whose row failed (a key too long to be
  // remembered, or one head office answered with an error).
  std::set<std::string> apply_rows(RowSet& list, const char* key, const Apply& apply) {
    std::set<std::string> failed;
    for (std::size_t done = 0; !list.eof() && done < kChunkRows; list.next(), ++done) {
      const std::string k = list.text(key);
      try {
        if (!fits(k)) throw RowFailed("key too long");
        if (apply) apply(k);
      } catch (const RowFailed&) {
        ++report_.failed_rows;
        failed.insert(k);
      }
    }
    return failed;
  }

  // Entries listed only to be removed by name, chunk by chunk.
  void remove_listed(const LoggedKeys& log) {
    query(p_.entries, log.list);
    std::set<std::string> keys;
    for (p_.entries.first(); !p_.entries.eof(); p_.entries.next()) keys.insert(p_.entries.text(log.key));
    const std::vector<std::string> all(keys.begin(), keys.end());
    for (std::size_t i = 0; i < all.size(); i += kKeysPerRemoval) {
      const auto end = all.begin() + static_cast<std::ptrdiff_t>(std::min(all.size(), i + kKeysPerRemoval));
      named_removal(log.remove, log.key, {all.begin() + static_cast<std::ptrdiff_t>(i), end});
    }
  }

  // Mark, read, apply, remove: the removals marked, listed and removed; then the changes marked,
  // listed, their lines fetched chunk by chunk, and the marked changes removed (those of rows that
  // failed stay marked, the others are removed by name).
  void marked_log(const MarkedLines& kind) {
    const MarkedChangeLog& s = kind.log;
    RowSet& entries = p_.entries;
    statement({s.transport, s.mark_deleted});
    query(entries, {s.list_marked_removals()});
    statement({s.transport, s.remove_deleted});
    statement({s.transport, s.mark_changed});
    query(entries, {s.list_changed});
    std::set<std::string> listed, failed;
    if (entries.row_count() > 0) {
      for (entries.first(); !entries.eof(); entries.next()) listed.insert(entries.text(s.key));
      KeyedFetch lines = keyed(kind.lines);
      for (entries.first(); !entries.eof();) {
        prefetch(lines, next_chunk_keys(entries, s.key));
        failed.merge(apply_rows(entries, s.key, [&](const std::string& k) { fetch(lines, p_.answer, k); }));
      }
    }
    const ServiceStatement remove{s.transport, s.remove_changed};
    if (failed.empty()) {
      statement(remove);
      return;
    }
    std::vector<std::string> done;
    for (const auto& k : listed)
      if (!failed.count(k)) done.push_back(k);
    for (std::size_t i = 0; i < done.size(); i += kKeysPerRemoval) {
      const auto end = done.begin() + static_cast<std::ptrdiff_t>(std::min(done.size(), i + kKeysPerRemoval));
      named_removal(remove, s.key, {done.begin() + static_cast<std::ptrdiff_t>(i), end});
    }
  }

  RunParts& p_;
  RunContext& ctx_;
  std::map<std::string, std::set<std::string>>& taken_;
  FetchWatcher* watcher_;
  RunReport& report_;
  std::optional<Clock::time_point> sent_;
};

}  // namespace

SimulatedTerminal::SimulatedTerminal(std::filesystem::path folder, std::string machine, const HeadOfficeAddress& ho)
    : folder_(std::move(folder)), machine_(std::move(machine)) {
  std::filesystem::create_directories(folder_);
  std::ofstream(folder_ / "httpset.ini", std::ios::trunc)
      << "[set]\nhost=" << ho.host << "\nport=" << ho.port << "\ndriver=ado\nuser_name=" << ho.user
      << "\npassword=" << ho.password << "\nbatch=1\n";
}

RunReport SimulatedTerminal::changes_update(const std::string& today, FetchWatcher* watcher) {
  RunReport report;
  KeptMessages boxes;
  try {
    TDataModHttp http(folder_, boxes);
    http.DataModuleCreate();
    RunParts parts(http, machine_, today, folder_);
    Run(parts, taken_, watcher, report).every_job();
    report.unconfirmed = parts.counters.unconfirmed;
    report.completed = true;
  } catch (const SilentAbort&) {
    report.error = boxes.first.empty() ? "the service was lost" : boxes.first;
  } catch (const std::exception& e) {
    report.error = e.what();
  }
  return report;
}

}  // namespace pos::fleet

#include "jobs/kit/marked_change_log.h"

#include <set>
#include <utility>

#include "jobs/kit/commit_batcher.h"
#include "jobs/kit/log_keys.h"
#include "text/sql_text.h"

namespace pos {

MarkedChangeLog single_statement_log(const std::string& log, const std::string& machine) {
  const std::string m = "MCH_NO = " + sql_quoted(machine);
  return {.transport = Transport::Statement,
          .key = "MASTERBILLID",
          .mark_deleted = "UPDATE " + log + " SET TRAN_CODE = 'W' WHERE " + m + " AND STATE = 'DELETE' ",
          .list_deleted = "SELECT MASTERBILLID FROM " + log + " WHERE TRAN_CODE = 'W' AND " + m,
          .remove_deleted = "DELETE FROM " + log + " WHERE TRAN_CODE = 'W' AND " + m + " AND STATE = 'DELETE' ",
          .mark_changed = "UPDATE " + log + " SET TRAN_CODE = 'W' WHERE " + m + " AND STATE <> 'DELETE' ",
          .list_changed = "SELECT * FROM " + log + " WHERE TRAN_CODE = 'W' AND " + m,
          .remove_changed = "DELETE FROM " + log + " WHERE TRAN_CODE = 'W' AND " + m + " AND STATE <> 'DELETE' "};
}

void MarkedChangeLogRun::take_removals(RowSet& list, const std::function<void()>& drop_local) {
  send(ctx_, {s_.transport, s_.mark_deleted});
  service_query(ctx_, list, {s_.list_marked_removals()});
  const RowLoop loop{.key = s_.key, .table = "", .on_error = OnRowError::EndRun, .progress = false};
  if (list.row_count() > 0) for_each_row(ctx_, list, loop, drop_local);
  ctx_.batcher().commit();
  send(ctx_, {s_.transport, s_.remove_deleted});
}

void MarkedChangeLogRun::mark_changes(RowSet& list) {
  send(ctx_, {s_.transport, s_.mark_changed});
  service_query(ctx_, list, {s_.list_changed});
}

void MarkedChangeLogRun::take_changes(RowSet& list, const RowLoop& loop, const std::function<void()>& apply,
                                      const std::function<void(const std::vector<std::string>&)>& before_chunk) {
  std::set<std::string> listed, failed;
  if (list.row_count() > 0) {
    for (list.first(); !list.eof(); list.next()) listed.insert(list.text(s_.key));
    RowLoop chunk = loop;
    chunk.max_rows = kKeysPerRemoval;
    for (list.first(); !list.eof();) {
      if (before_chunk) before_chunk(next_chunk_keys(list, s_.key));
      failed.merge(apply_each(ctx_, list, chunk, s_.key, apply));
    }
  }
  ctx_.batcher().commit();
  const ServiceStatement remove{s_.transport, s_.remove_changed};
  if (failed.empty()) {
    send(ctx_, remove);
    return;
  }
  // Entries of the rows held back stay marked and are taken again; the others go, by name.
  std::vector<std::string> done;
  for (const auto& k : listed)
    if (!failed.count(k)) done.push_back(k);
  remove_named_in_chunks(ctx_, remove, s_.key, done);
}

}  // namespace pos

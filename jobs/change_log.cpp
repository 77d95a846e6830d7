#include "jobs/change_log.h"

#include "jobs/commit_batcher.h"

namespace pos {

namespace {

// Applies every row of `list` from its first, then sends `remove` unless a row failed.
void apply_then_remove(RunContext& ctx, RowSet& list, const RowLoop& loop, const std::function<void()>& apply,
                       const ServiceStatement& remove) {
  const JobCounters before = ctx.count();
  if (list.row_count() > 0) for_each_row(ctx, list, loop, apply);
  const JobCounters& after = ctx.count();
  ctx.batcher().commit();
  if (after.failed == before.failed && after.refused == before.refused) send(ctx, remove);
}

}  // namespace

void take_change_log(RunContext& ctx, const ChangeLogStep& step) {
  service_query(ctx, step.list, step.list_query);
  apply_then_remove(ctx, step.list, step.loop, step.apply, step.remove);
}

void MarkedChangeLogRun::take_removals(RowSet& list, const std::function<void()>& drop_local) {
  send(ctx_, {s_.transport, s_.mark_deleted});
  service_query(ctx_, list, {s_.list_deleted});
  const RowLoop loop{s_.key, "", OnRowError::EndRun, false};
  apply_then_remove(ctx_, list, loop, drop_local, {s_.transport, s_.remove_deleted});
}

void MarkedChangeLogRun::mark_changes(RowSet& list) {
  send(ctx_, {s_.transport, s_.mark_changed});
  service_query(ctx_, list, {s_.list_changed});
}

void MarkedChangeLogRun::take_changes(RowSet& list, const RowLoop& loop, const std::function<void()>& apply) {
  apply_then_remove(ctx_, list, loop, apply, {s_.transport, s_.remove_changed});
}

}  // namespace pos

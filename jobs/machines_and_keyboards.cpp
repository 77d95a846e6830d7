// Jobs 9 and 10: the chain's machines, upserted by number, and the two keyboard tables, each
// refilled as one unit of work after its fetch (a failure keeps the old rows), upserting by key
// so that the last answer row of a key wins. Neither looks at the update mode.

#include "jobs/changes_update_texts.h"
#include "jobs/jobs.h"
#include "jobs/kit/local_writes.h"
#include "jobs/kit/row_loop.h"
#include "jobs/kit/service_steps.h"

namespace pos {

namespace {

const ColumnMap kMachineMapping[] = {
    {"MCH_NO", text("MCH_NO")}, {"MCH_IP", text("MCH_IP")}, {"MCH_NAME", text("MCH_NAME")}};

const ColumnMap kKeyMapping[] = {
    {"ID_NO", text("ID_NO")}, {"PDC_NO", text("PDC_NO")}, {"PDC_NAME", text("PDC_NAME")}, {"MEMO", text("MEMO")}};

}  // namespace

QueryLines machines_query() { return {"SELECT * FROM MCH_ITEM "}; }

std::vector<QueryLines> keyboard_queries() {
  return {{"SELECT * FROM LOC_KEY_MAP "}, {"select * from LOC_KEY_MAP_SUB"}};
}

void sync_machines(RunContext& ctx) {
  RowSet& machines = ctx.answer;
  service_query(ctx, machines, machines_query());
  for_each_row(ctx, machines, {.key = "MCH_NO", .table = "MCH_ITEM", .on_error = OnRowError::EndRun}, [&] {
    upsert(ctx, "SELECT * FROM MCH_ITEM WHERE MCH_NO = ?", kMachineMapping, machines, {Value(machines.text("MCH_NO"))});
  });
}

void sync_keyboard_maps(RunContext& ctx) {
  RowSet& keys = ctx.answer;
  const std::vector<QueryLines> queries = keyboard_queries();
  service_query(ctx, keys, queries[0]);
  refill(ctx, "LOC_KEY_MAP", {"DELETE from LOC_KEY_MAP "}, [&] {
    for_each_row(ctx, keys, {.key = "ID_NO", .table = "LOC_KEY_MAP", .on_error = OnRowError::EndRun}, [&] {
      upsert(ctx, "select * from LOC_KEY_MAP where ID_NO = ?", kKeyMapping, keys, {Value(keys.text("ID_NO"))});
    });
  });

  service_query(ctx, keys, queries[1]);
  refill(ctx, "LOC_KEY_MAP_SUB", {"DELETE from LOC_KEY_MAP_SUB "}, [&] {
    if (keys.row_count() == 0) return;
    for_each_row(ctx, keys, {.key = "ID_NO", .table = "LOC_KEY_MAP_SUB", .on_error = OnRowError::EndRun}, [&] {
      upsert(ctx, "SELECT * from LOC_KEY_MAP_SUB  where ID_NO = ? AND PDC_NO = ?", kKeyMapping, keys,
             {Value(keys.text("ID_NO")), Value(keys.text("PDC_NO"))});
    });
  });
}

}  // namespace pos

// Jobs 1 and 2: the staff list and the shifts, upserted by key. A full update refills the staff
// table as one unit of work: staff removed at head office go, and a failure keeps the old rows.

#include "jobs/changes_update_texts.h"
#include "jobs/jobs.h"
#include "jobs/kit/local_writes.h"
#include "jobs/kit/row_loop.h"
#include "jobs/kit/service_steps.h"

namespace pos {

namespace {

const ColumnMap kStaffMapping[] = {
    {"LAB_NO", text("EMPLOYEE_ID")},
    {"CNAME", text("EMPLOYEE_NAME")},
    {"PASSW", text("PASS_WD")},
    {"CHK_CODE", text("CHK_CODE")},
};

const ColumnMap kShiftMapping[] = {
    {"WRK_NO", text("WRK_NO")},    {"WRK_NAME", text("WRK_NAME")}, {"WRK_ALOW", text("WRK_ALOW")},
    {"START", text("START_TIME")}, {"OVE_", text("END_TIME")},     {"WORK_TIME", text("WORK_TIME")},
};

}  // namespace

QueryLines staff_query() { return {"select EMPLOYEE_ID,EMPLOYEE_NAME,PASS_WD,CHK_CODE from employee"}; }

QueryLines shifts_query() { return {"SELECT * FROM WRK_ITEM"}; }

void sync_staff(RunContext& ctx) {
  if (ctx.mode == UpdateMode::None) return;
  RowSet& staff = ctx.answer;
  service_query(ctx, staff, staff_query());
  auto write_staff = [&] {
    if (staff.row_count() == 0) return;
    for_each_row(ctx, staff, {.key = "EMPLOYEE_ID", .table = "LOC_PERS", .on_error = OnRowError::EndRun}, [&] {
      upsert(ctx, "SELECT * FROM LOC_PERS WHERE LAB_NO = ?", kStaffMapping, staff, {Value(staff.text("EMPLOYEE_ID"))});
    });
  };
  if (ctx.full_update())
    refill(ctx, "LOC_PERS", {"DELETE FROM  LOC_PERS "}, write_staff);
  else
    write_staff();
}

void sync_shifts(RunContext& ctx) {
  if (ctx.mode == UpdateMode::None) return;
  RowSet& shifts = ctx.answer;
  service_query(ctx, shifts, shifts_query());
  for_each_row(ctx, shifts, {.key = "WRK_NO", .table = "LOC_WRK", .on_error = OnRowError::EndRun}, [&] {
    upsert(ctx, "Select * FROM LOC_WRK WHERE WRK_NO = ?", kShiftMapping, shifts, {Value(shifts.text("WRK_NO"))});
  });
}

}  // namespace pos

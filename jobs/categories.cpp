#include "jobs/categories.h"

#include "jobs/changes_update_texts.h"
#include "jobs/kit/column_mapping.h"
#include "jobs/kit/local_statements.h"
#include "jobs/kit/local_writes.h"
#include "jobs/kit/row_loop.h"
#include "jobs/kit/service_steps.h"
#include "localdb/catalogue.h"

namespace pos {

namespace {

const ColumnMap kCategoryParameters[] = {
    {"TYPE_NO", text("PD_ITEMID")},        {"TYPE_NAME", text("PD_ITEMNAME")}, {"MID_ITEMID", text("pd_grpid")},
    {"MID_ITEMNAME", text("pd_grpname")},  {"TOP_ITEMID", text("top_itemid")}, {"TOP_ITEMNAME", text("top_itemname")},
    {"M_SHOW", first_character("M_SHOW")}, {"PD_DEPID", text("PD_DEPID")},     {"PD_DEPNAME", text("PD_DEPNAME")},
};

}  // namespace

QueryLines categories_query() {
  return {
      "select a.pd_itemid,a.pd_itemname,b.pd_grpid,b.pd_grpname,c.top_itemid,c.top_itemname,A.M_SHOW,"
      "d.pd_depid,d.pd_depname from prod_item a ",
      " left outer join prod_hiitem b ",
      " on a.pd_grpid = b.pd_grpid ",
      " left outer join prod_topitem c ",
      " on c.top_itemid = b.top_itemid ",
      " left outer join prod_depart d ",
      " on d.pd_depid = c.pd_depid "};
}

void rebuild_categories(RunContext& ctx) {
  RowSet& categories = ctx.answer;
  service_query(ctx, categories, categories_query());
  refill(ctx, "LOC_TYPE", {"DELETE FROM LOC_TYPE"}, [&] {
    if (categories.row_count() == 0) return;
    insert_each_row(
        ctx, categories, {.key = "PD_ITEMID", .table = "LOC_TYPE", .on_error = OnRowError::EndRun},
        {"Insert into LOC_TYPE(TYPE_NO,TYPE_NAME,MID_ITEMID,MID_ITEMNAME,TOP_ITEMID,TOP_ITEMNAME,M_SHOW,"
         "PD_DEPID,PD_DEPNAME) ",
         " VALUES(:TYPE_NO,:TYPE_NAME,:MID_ITEMID,:MID_ITEMNAME,:TOP_ITEMID,:TOP_ITEMNAME,:M_SHOW,:PD_DEPID,"
         ":PD_DEPNAME) "},
        kCategoryParameters);
  });
}

void keep_product_indexes(RunContext& ctx) {
  static const char* const indexes[][2] = {
      {"LOC_PDC1", "CREATE INDEX LOC_PDC1 ON LOC_PDC(PROD_ID)"},
      {"LOC_PDC2", "CREATE INDEX LOC_PDC2 ON LOC_PDC(BAR_CODE)"},
      {"LOC_PDC3", "CREATE INDEX LOC_PDC3 ON LOC_PDC(PROD_ID,BAR_CODE)"},
      // Full update replaces by PDC_NO: without this index every product would scan the table.
      {"LOC_PDC4", "CREATE INDEX LOC_PDC4 ON LOC_PDC(PDC_NO)"},
  };
  for (const auto& ix : indexes)
    if (IndexMissing(ctx.statement, ix[0])) run_local(ctx, {ix[1]});
}

}  // namespace pos

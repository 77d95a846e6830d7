#include "jobs/categories.h"

#include "jobs/column_mapping.h"
#include "jobs/conventions.h"
#include "localdb/catalogue.h"
#include "text/big5.h"

namespace pos {

void RebuildCategories(RunContext& ctx) {
  ctx.Memo1.append(big5(" 商品分類傳送中...!"));
  LocalTransaction tx(ctx.SQLCon_Loc);
  run_local(ctx, {"DELETE FROM LOC_TYPE"});
  RowSet& rs = ctx.ClientDataSet1;
  service_query(
      ctx, rs,
      {"select a.pd_itemid,a.pd_itemname,b.pd_grpid,b.pd_grpname,c.top_itemid,c.top_itemname,A.M_SHOW,"
       "d.pd_depid,d.pd_depname from prod_item a ",
       " left outer join prod_hiitem b ", " on a.pd_grpid = b.pd_grpid ", " left outer join prod_topitem c ",
       " on c.top_itemid = b.top_itemid ", " left outer join prod_depart d ", " on d.pd_depid = c.pd_depid "});
  if (rs.row_count() > 0) {
    progress_start(ctx, rs);
    LocalQuery& q = ctx.SQLQuery3;
    q.close();
    q.clear();
    q.add(
        "Insert into LOC_TYPE(TYPE_NO,TYPE_NAME,MID_ITEMID,MID_ITEMNAME,TOP_ITEMID,TOP_ITEMNAME,M_SHOW,PD_DEPID,"
        "PD_DEPNAME) ");
    q.add(
        " VALUES(:TYPE_NO,:TYPE_NAME,:MID_ITEMID,:MID_ITEMNAME,:TOP_ITEMID,:TOP_ITEMNAME,:M_SHOW,:PD_DEPID,"
        ":PD_DEPNAME) ");
    for (; !rs.eof(); rs.next()) {
      progress_step(ctx, rs);
      q.set_param("TYPE_NO", Value(rs.text("PD_ITEMID")));
      q.set_param("TYPE_NAME", Value(rs.text("PD_ITEMNAME")));
      q.set_param("MID_ITEMID", Value(rs.text("pd_grpid")));
      q.set_param("MID_ITEMNAME", Value(rs.text("pd_grpname")));
      q.set_param("TOP_ITEMID", Value(rs.text("top_itemid")));
      q.set_param("TOP_ITEMNAME", Value(rs.text("top_itemname")));
      q.set_param("M_SHOW", Value(first_character(rs.text("M_SHOW"))));
      q.set_param("PD_DEPID", Value(rs.text("PD_DEPID")));
      q.set_param("PD_DEPNAME", Value(rs.text("PD_DEPNAME")));
      q.execute();
    }
  }
  tx.commit();
}

void KeepProductIndexes(RunContext& ctx) {
  static const char* const indexes[][2] = {
      {"LOC_PDC1", "CREATE INDEX LOC_PDC1 ON LOC_PDC(PROD_ID)"},
      {"LOC_PDC2", "CREATE INDEX LOC_PDC2 ON LOC_PDC(BAR_CODE)"},
      {"LOC_PDC3", "CREATE INDEX LOC_PDC3 ON LOC_PDC(PROD_ID,BAR_CODE)"},
      // Full update replaces by PDC_NO: without this index every product would scan the table.
      {"LOC_PDC4", "CREATE INDEX LOC_PDC4 ON LOC_PDC(PDC_NO)"},
  };
  for (const auto& ix : indexes)
    if (IndexMissing(ctx.SQLQuery3, ix[0])) run_local(ctx, {ix[1]});
}

}  // namespace pos

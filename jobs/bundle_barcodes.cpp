#include "jobs/bundle_barcodes.h"

#include "jobs/conventions.h"
#include "localdb/errors.h"
#include "text/big5.h"
#include "text/sql_text.h"

namespace pos {

void RunBundleBarcodesJob(RunContext& ctx) {
  ctx.Memo1.append(big5(" 組銷資料傳送中...!"));
  if (ctx.mode != 0) return;
  RowSet& rs = ctx.ClientDataSet1;
  service_query(ctx, rs,
                {"SELECT PROD_ID,SAL_BARCODE,SAL_NAME,PACK_QTY,SAL_UNITNAME,SAL_PRICE,VIP_PRICE from PROD_SALE"});

  // The table is refilled whole inside one transaction: a failure leaves the old rows.
  LocalTransaction tx(ctx.SQLCon_Loc);
  run_local(ctx, {"DELETE FROM PROD_SALE"});
  TableCursor& cur = ctx.CDS_Query1;
  cur.close();
  cur.set_command_text("SELECT * FROM PROD_SALE");
  cur.open();
  if (rs.row_count() > 0) {
    progress_start(ctx, rs);
    for (; !rs.eof(); rs.next()) {
      const std::string barcode = sql_escape(rs.text("SAL_BARCODE"));
      run_local(ctx,
                {"DELETE from LOC_PDC ", " WHERE PROD_ID = '" + barcode + "'", " OR BAR_CODE = '" + barcode + "'"});
      progress_step(ctx, rs);
      cur.append();
      for (std::size_t i = 0; i < rs.field_count(); ++i) cur.set_value(i, rs.value(i));
      cur.post();
      for (const auto& refused : cur.apply())
        ctx.Memo1.append(" PROD_SALE " + refused.values.at(1).as_text() + ": " + refused.message);
    }
  }
  tx.commit();
}

}  // namespace pos

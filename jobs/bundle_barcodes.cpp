#include "jobs/changes_update_texts.h"
#include "jobs/jobs.h"
#include "jobs/kit/local_statements.h"
#include "jobs/kit/local_writes.h"
#include "jobs/kit/row_loop.h"
#include "jobs/kit/service_steps.h"

namespace pos {

QueryLines bundles_query() {
  return {"SELECT PROD_ID,SAL_BARCODE,SAL_NAME,PACK_QTY,SAL_UNITNAME,SAL_PRICE,VIP_PRICE from PROD_SALE"};
}

void sync_bundle_barcodes(RunContext& ctx) {
  if (!ctx.changes_update()) return;
  RowSet& bundles = ctx.answer;
  service_query(ctx, bundles, bundles_query());
  refill(ctx, "PROD_SALE", {"DELETE FROM PROD_SALE"}, [&] {
    TableCursor& bundle_rows = ctx.row_cursor;
    open_cursor(bundle_rows, "SELECT * FROM PROD_SALE");
    if (bundles.row_count() == 0) return;
    for_each_row(ctx, bundles, {.key = "SAL_BARCODE", .table = "PROD_SALE", .on_error = OnRowError::EndRun}, [&] {
      const Value barcode = matching_key(bundles.text("SAL_BARCODE"));
      run_local(ctx, "DELETE from LOC_PDC  WHERE PROD_ID = ? OR BAR_CODE = ?", {barcode, barcode});
      // Copied by position: the local table's first seven columns take the answer's seven.
      bundle_rows.append();
      for (std::size_t i = 0; i < bundles.field_count(); ++i) bundle_rows.set_value(i, bundles.value(i));
      apply_row(ctx, bundle_rows);
    });
  });
}

}  // namespace pos

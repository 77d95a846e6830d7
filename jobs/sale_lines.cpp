#include "jobs/sale_lines.h"

namespace pos {

std::vector<ColumnMap> sale_line_mapping(ColumnMap n_qty, std::initializer_list<ColumnMap> more) {
  std::vector<ColumnMap> mapping = {
      {"MASTERBILLID", text("MASTERBILLID")},
      {"BILL_DATE", text("BILL_DATE")},
      {"INI_DATE", text("INI_DATE")},
      {"END_DATE", text("END_DATE")},
      {"REASON", text("REASON")},
      {"PROD_ID", text("PROD_ID")},
      {"PROD_NAME", text("PROD_NAME")},
      {"PROD_BARCODE", text("PROD_BARCODE")},
      {"PD_ITEMID", text("PD_ITEMID")},
      {"PSALE_FLAG", text("PSALE_FLAG")},
      {"PSALE_PRICE", value_copy("PSALE_PRICE")},
      {"OLD_PRICE", value_copy("OLD_PRICE")},
      {"VIP_PRICE", value_copy("VIP_PRICE").or_field_when_null_in_full_update("PSALE_PRICE")},
      n_qty,
      {"G_PROD_ID", text("G_PROD_ID")},
      {"G_PROD_NAME", text("G_PROD_NAME")},
      {"G_QTY", value_copy("G_QTY").constant_when_null("G_QTY", 0)},
      {"STORE_ID", text("STORE_ID")},
      {"TEMPPRODID", text("TEMPPRODID")},
      {"SEC_DIS", text("SEC_DIS")},
      {"OVER_AMT", integer_parse("OVER_AMT", 0)},
  };
  mapping.insert(mapping.end(), more);
  return mapping;
}

}  // namespace pos

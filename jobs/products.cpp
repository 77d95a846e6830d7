#include "jobs/categories.h"
#include "jobs/changes_update_texts.h"
#include "jobs/jobs.h"
#include "jobs/kit/change_log.h"
#include "jobs/kit/column_mapping.h"
#include "jobs/kit/keyed_fetch.h"
#include "jobs/kit/local_statements.h"
#include "jobs/kit/local_writes.h"
#include "jobs/kit/row_loop.h"
#include "jobs/kit/service_steps.h"
#include "localdb/local_work.h"
#include "text/big5.h"
#include "text/number_format.h"
#include "text/sql_text.h"

namespace pos {

namespace {

const std::string kProductColumnList =
    " PROD_ID,PROD_NAME,PROD_ID2,PROD_SNAME,PROD_BARCODE,UNITNAME,SALE_PRICE,PSALE_PRICE,STD_COST,AVG_COST,"
    "PD_CLASSID,SAL_TAG,PD_ITEMID,VIP_PRICE,CR_PRICE,TAX_KIND,P_PU,P_PU2,MEM_DISCOUNT,P_PRICE,P_PRICE2,N_PRICE,"
    "FREE_TAX,HEA_TAX,POINT_YN,PROD_SCALE,STOCK_QTY,DEF_PROFIT,MS,PUT_ID ";

const ColumnMap kProductMapping[] = {
    {"PDC_NO", text("PROD_ID")},
    {"PDC_NAME", text("PROD_NAME")},
    {"PROD_ID", text("PROD_ID")},
    {"PROD_ID2", text("PROD_ID2")},
    {"INV_Name", text("PROD_SNAME")},
    {"BAR_CODE", text("PROD_BARCODE")},
    {"PDC_UNIT", text("UNITNAME")},
    {"GEN_PRICE", whole_number_text("SALE_PRICE")},
    {"STD_PRICE", whole_number_text("PSALE_PRICE")},
    {"Stk_price", two_decimal_text("STD_COST")},
    {"Pch_Price", two_decimal_text("AVG_COST")},
    {"PD_CLASSID", text("PD_CLASSID")},
    {"STOP_CODE", text("SAL_TAG")},
    {"PDC_TYPE", text("PD_ITEMID")},
    {"VIP_PRICE", number_from_text("VIP_PRICE").or_field_when_null("PSALE_PRICE")},
    {"CR_PRICE", number_from_text("CR_PRICE").or_field_when_null("PSALE_PRICE")},
    {"TAX_KIND", text("TAX_KIND")},
    {"P_PU", text("P_PU")},
    {"P_PU2", text("P_PU2")},
    {"MEM_DISCOUNT", text("MEM_DISCOUNT")},
    {"P_PRICE", number_from_text("P_PRICE").or_field_when_null("PSALE_PRICE"), In::FullUpdate},
    {"P_PRICE2", number_from_text("P_PRICE2").or_field_when_null("PSALE_PRICE"), In::FullUpdate},
    {"N_PRICE", number_from_text("N_PRICE").or_field_when_null("PSALE_PRICE"), In::FullUpdate},
    {"FREE_TAX", number_from_text("FREE_TAX")},
    {"HEA_TAX", number_from_text("HEA_TAX")},
    {"POINT_YN", text("POINT_YN")},
    {"PROD_SCALE", text("PROD_SCALE")},
    {"STOCK_QTY", text("STOCK_QTY")},
    {"DEF_PROFIT", number_from_text("DEF_PROFIT")},
    {"MS", text("MS")},
    {"PUT_ID", text("PUT_ID")},
};

// The five lines that restrict products to the designated top category.
std::vector<std::string> category_subselect(const std::string& top) {
  return {" SELECT A.PD_ITEMID FROM PROD_ITEM A INNER JOIN PROD_HIITEM B ", " ON A.PD_GRPID = B.PD_GRPID ",
          " LEFT OUTER JOIN PROD_TOPITEM C ", " ON C.TOP_ITEMID = B.TOP_ITEMID ",
          " WHERE C.TOP_ITEMID = '" + sql_escape(top) + "'" + ")"};
}

// Replaces every local row with a product's bar code or number (PROD_ID in changes update, PDC_NO
// in full update) by one new row, as one unit of work. Keys compare whole, and an empty bar code, or
// one of blanks only, matches nothing: such a product replaces only its own predecessors.
class ProductWriter {
 public:
  explicit ProductWriter(RunContext& ctx)
      : ctx_(ctx),
        where_(std::string(" WHERE BAR_CODE = ? OR ") + (ctx.full_update() ? "PDC_NO" : "PROD_ID") + " = ?"),
        lookup_("SELECT * FROM LOC_PDC" + where_),
        delete_("DELETE FROM LOC_PDC" + where_) {}

  void write(const RowSet& product) {
    std::vector<Value> keys = {matching_key(product.text("PROD_BARCODE")), Value(product.text("PROD_ID"))};
    atomically(ctx_.local, [&] {
      run_local(ctx_, delete_, std::move(keys));
      open_cursor(ctx_.row_cursor, lookup_);
      append_row(ctx_, ctx_.row_cursor, kProductMapping, product);
    });
  }

 private:
  RunContext& ctx_;
  std::string where_, lookup_, delete_;
};

std::string designated_top_category(RunContext& ctx) {
  RowSet& machine = ctx.answer;
  service_query(ctx, machine, designated_top_query(ctx.machine));
  std::string top = machine.text("TOP_ITEMID");
  if (!top.empty()) ctx.log.append(big5("指定大類[") + top + big5("]傳送"));
  return top;
}

void take_changed_products(RunContext& ctx, const std::string& top) {
  RowSet& changed = ctx.product_changes;
  RowSet& product = ctx.answer;
  ProductWriter writer(ctx);
  KeyedFetch products(ctx, product_query(top));
  take_change_log(ctx, {.list = changed,
                        .log = changed_products(ctx.machine),
                        .loop = {.key = "PROD_ID", .table = "LOC_PDC", .on_error = OnRowError::LogDataError},
                        .apply =
                            [&] {
                              products.fetch(product, changed.text(0));
                              if (product.row_count() > 0) writer.write(product);  // no row: the product is skipped
                            },
                        .before_chunk = [&](const std::vector<std::string>& keys) { products.prefetch(keys); }});
}

void write_all_products(RunContext& ctx, const std::string& top) {
  RowSet& products = ctx.answer;
  std::vector<std::string> lines;
  if (top.empty()) {
    lines = {"SELECT " + kProductColumnList + " FROM PRODUCT "};
  } else {
    lines = {"SELECT " + kProductColumnList + " FROM PRODUCT WHERE PD_ITEMID IN ("};
    for (auto& l : category_subselect(top)) lines.push_back(l);
  }
  service_query(ctx, products, lines);
  if (products.row_count() == 0) return;
  ProductWriter writer(ctx);
  for_each_row(ctx, products, {.key = "PROD_ID", .table = "LOC_PDC", .on_error = OnRowError::LogDataError},
               [&] { writer.write(products); });
}

}  // namespace

QueryLines designated_top_query(const std::string& machine) {
  return {"select * from mch_item where MCH_NO = '" + sql_escape(machine) + "'"};
}

LoggedKeys deleted_products(const std::string& machine) {
  const std::string m = sql_escape(machine);
  return {
      .list = {"SELECT PROD_ID FROM PRODUCT_TEMP WHERE MCH_NO = '" + m + "'" + " AND STATE = 'DELETE' "},
      .key = "PROD_ID",
      .taken_as = "PRODUCT_TEMP DELETE",
      .remove = {Transport::Script, "DELETE FROM PRODUCT_TEMP WHERE MCH_NO = '" + m + "'" + " AND STATE = 'DELETE' ;"}};
}

LoggedKeys changed_products(const std::string& machine) {
  const std::string m = sql_escape(machine);
  return {.list = {"SELECT PROD_ID FROM PRODUCT_TEMP WHERE MCH_NO = '" + m + "'" + " AND STATE <> 'DELETE' "},
          .key = "PROD_ID",
          .taken_as = "PRODUCT_TEMP CHANGE",
          .remove = {Transport::Statement,
                     "DELETE FROM PRODUCT_TEMP WHERE MCH_NO = '" + m + "'" + " AND STATE <> 'DELETE' "}};
}

KeyedQuery product_query(const std::string& top) {
  return {.key_field = "PROD_ID", .column = "PROD_ID", .lines = [top](const std::string& condition) {
            std::vector<std::string> lines = {"SELECT " + kProductColumnList + " FROM PRODUCT WHERE " + condition};
            if (!top.empty()) {
              lines.push_back(" AND PD_ITEMID IN (");
              for (auto& l : category_subselect(top)) lines.push_back(l);
            }
            return lines;
          }};
}

void sync_products(RunContext& ctx) {
  rebuild_categories(ctx);
  keep_product_indexes(ctx);
  ctx.log.append(big5(" 商品資料傳送中...!"));
  const std::string top = designated_top_category(ctx);
  if (ctx.mode == UpdateMode::None) return;
  take_deletions(ctx, deleted_products(ctx.machine), "LOC_PDC");
  if (ctx.changes_update())
    take_changed_products(ctx, top);
  else
    write_all_products(ctx, top);
}

}  // namespace pos

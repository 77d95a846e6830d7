#include "jobs/products.h"

#include "jobs/categories.h"
#include "jobs/column_mapping.h"
#include "jobs/commit_batcher.h"
#include "jobs/conventions.h"
#include "localdb/errors.h"
#include "service/data_mod_http.h"
#include "service/service_errors.h"
#include "text/big5.h"
#include "text/sql_text.h"

namespace pos {

namespace {

const std::string kProductColumnList =
    " PROD_ID,PROD_NAME,PROD_ID2,PROD_SNAME,PROD_BARCODE,UNITNAME,SALE_PRICE,PSALE_PRICE,STD_COST,AVG_COST,"
    "PD_CLASSID,SAL_TAG,PD_ITEMID,VIP_PRICE,CR_PRICE,TAX_KIND,P_PU,P_PU2,MEM_DISCOUNT,P_PRICE,P_PRICE2,N_PRICE,"
    "FREE_TAX,HEA_TAX,POINT_YN,PROD_SCALE,STOCK_QTY,DEF_PROFIT,MS,PUT_ID ";

using C = Conversion;
const ColumnMap kProductMapping[] = {
    {"PDC_NO", C::Text, "PROD_ID"},
    {"PDC_NAME", C::Text, "PROD_NAME"},
    {"PROD_ID", C::Text, "PROD_ID"},
    {"PROD_ID2", C::Text, "PROD_ID2"},
    {"INV_Name", C::Text, "PROD_SNAME"},
    {"BAR_CODE", C::Text, "PROD_BARCODE"},
    {"PDC_UNIT", C::Text, "UNITNAME"},
    {"GEN_PRICE", C::WholeNumberText, "SALE_PRICE"},
    {"STD_PRICE", C::WholeNumberText, "PSALE_PRICE"},
    {"Stk_price", C::TwoDecimalText, "STD_COST"},
    {"Pch_Price", C::TwoDecimalText, "AVG_COST"},
    {"PD_CLASSID", C::Text, "PD_CLASSID"},
    {"STOP_CODE", C::Text, "SAL_TAG"},
    {"PDC_TYPE", C::Text, "PD_ITEMID"},
    {"VIP_PRICE", C::NumberFromText, "VIP_PRICE", "PSALE_PRICE"},
    {"CR_PRICE", C::NumberFromText, "CR_PRICE", "PSALE_PRICE"},
    {"TAX_KIND", C::Text, "TAX_KIND"},
    {"P_PU", C::Text, "P_PU"},
    {"P_PU2", C::Text, "P_PU2"},
    {"MEM_DISCOUNT", C::Text, "MEM_DISCOUNT"},
    {"P_PRICE", C::NumberFromText, "P_PRICE", "PSALE_PRICE", true},
    {"P_PRICE2", C::NumberFromText, "P_PRICE2", "PSALE_PRICE", true},
    {"N_PRICE", C::NumberFromText, "N_PRICE", "PSALE_PRICE", true},
    {"FREE_TAX", C::NumberFromText, "FREE_TAX"},
    {"HEA_TAX", C::NumberFromText, "HEA_TAX"},
    {"POINT_YN", C::Text, "POINT_YN"},
    {"PROD_SCALE", C::Text, "PROD_SCALE"},
    {"STOCK_QTY", C::Text, "STOCK_QTY"},
    {"DEF_PROFIT", C::NumberFromText, "DEF_PROFIT"},
    {"MS", C::Text, "MS"},
    {"PUT_ID", C::Text, "PUT_ID"},
};

// The five lines that restrict products to the designated top category.
std::vector<std::string> category_subselect(const std::string& top) {
  return {" SELECT A.PD_ITEMID FROM PROD_ITEM A INNER JOIN PROD_HIITEM B ", " ON A.PD_GRPID = B.PD_GRPID ",
          " LEFT OUTER JOIN PROD_TOPITEM C ", " ON C.TOP_ITEMID = B.TOP_ITEMID ",
          " WHERE C.TOP_ITEMID = '" + sql_escape(top) + "'" + ")"};
}

class ProductJob {
 public:
  explicit ProductJob(RunContext& ctx) : ctx_(ctx), full_(ctx.mode == 1), batch_(ctx.SQLCon_Loc) {}

  void run() {
    RebuildCategories(ctx_);
    KeepProductIndexes(ctx_);
    ctx_.Memo1.append(big5(" 商品資料傳送中...!"));
    read_designated_category();
    if (ctx_.mode == 0) {
      delete_products();
      update_changed_products();
    } else if (ctx_.mode == 1) {
      delete_products();
      update_all_products();
    }
    acknowledge_changes();
  }

 private:
  const std::string& m() const { return ctx_.MachineNo; }

  void read_designated_category() {
    service_query(ctx_, ctx_.ClientDataSet1, {"select * from mch_item where MCH_NO = '" + sql_escape(m()) + "'"});
    top_ = ctx_.ClientDataSet1.text("TOP_ITEMID");
    if (!top_.empty()) ctx_.Memo1.append(big5("指定大類[") + top_ + big5("]傳送"));
  }

  // Products the change log marks as deleted; acknowledged once the deletes are committed.
  void delete_products() {
    guarded_section(
        ctx_, "DELETE FROM PRODUCT_TEMP WHERE MCH_NO = '" + sql_escape(m()) + "'" + " AND STATE = 'DELETE' ;", [&] {
          RowSet& rs = ctx_.ClientDataSet1;
          service_query(
              ctx_, rs,
              {"SELECT PROD_ID FROM PRODUCT_TEMP WHERE MCH_NO = '" + sql_escape(m()) + "'" + " AND STATE = 'DELETE' "});
          for (; !rs.eof(); rs.next()) {
            batch_.atomically([&] {
              run_local(ctx_, {"DELETE FROM LOC_PDC WHERE PROD_ID = '" + sql_escape(rs.text("PROD_ID")) + "'"});
            });
            batch_.row_done();
          }
          batch_.commit();
        });
  }

  void update_changed_products() {
    RowSet& list = ctx_.aCDS;
    service_query(
        ctx_, list,
        {"SELECT PROD_ID FROM PRODUCT_TEMP WHERE MCH_NO = '" + sql_escape(m()) + "'" + " AND STATE <> 'DELETE' "});
    if (list.row_count() == 0) return;
    progress_start(ctx_, list);
    RowSet& product = ctx_.ClientDataSet1;
    for (; !list.eof(); list.next()) {
      progress_step(ctx_, list);
      std::string number = list.text(0);
      guarded_row(number, [&] {
        std::vector<std::string> lines = {"SELECT " + kProductColumnList + " FROM PRODUCT WHERE PROD_ID = " + "'" +
                                          sql_escape(number) + "'"};
        if (!top_.empty()) {
          lines.push_back(" AND PD_ITEMID IN (");
          for (auto& l : category_subselect(top_)) lines.push_back(l);
        }
        service_query(ctx_, product, lines);
        if (product.row_count() > 0) write_product(product);  // no row: the product is skipped
      });
    }
    batch_.commit();
  }

  void update_all_products() {
    RowSet& rs = ctx_.ClientDataSet1;
    if (top_.empty()) {
      service_query(ctx_, rs, {"SELECT " + kProductColumnList + " FROM PRODUCT "});
    } else {
      std::vector<std::string> lines = {"SELECT " + kProductColumnList + " FROM PRODUCT WHERE PD_ITEMID IN ("};
      for (auto& l : category_subselect(top_)) lines.push_back(l);
      service_query(ctx_, rs, lines);
    }
    if (rs.row_count() == 0) return;
    progress_start(ctx_, rs);
    for (; !rs.eof(); rs.next()) {
      progress_step(ctx_, rs);
      guarded_row(rs.text("PROD_ID"), [&] { write_product(rs); });
    }
    batch_.commit();
  }

  // Runs one product's work; a failure is logged as the product's "Data Error" line and the loop
  // goes on. A lost connection ends the job after its one message, keeping what was written.
  template <class Fn>
  void guarded_row(const std::string& number, Fn&& work) {
    try {
      work();
      batch_.row_done();
    } catch (const SilentAbort&) {
      batch_.commit();
      throw;
    } catch (const std::exception& e) {
      ++failures_;
      ctx_.Memo1.append(number + "Data Error...!");
      if (dynamic_cast<const DbError*>(&e)) ctx_.Memo1.append(" " + std::string(e.what()));
    }
  }

  // Replaces every local row with the product's bar code or number by one new row.
  void write_product(const RowSet& rs) {
    const std::string bc = rs.text("PROD_BARCODE"), pn = rs.text("PROD_ID");
    const std::string key = full_ ? "PDC_NO" : "PROD_ID";
    // An empty bar code matches nothing: such a product replaces only its own predecessors.
    std::string where = bc.empty() ? " WHERE " + key + " = ?" : " WHERE BAR_CODE = ? OR " + key + " = ?";
    std::vector<Value> args = bc.empty() ? std::vector<Value>{Value(pn)} : std::vector<Value>{Value(bc), Value(pn)};
    batch_.atomically([&] {
      TableCursor& cur = ctx_.CDS_Query1;
      cur.close();
      cur.set_command_text("SELECT * FROM LOC_PDC" + where);
      cur.set_params(args);
      cur.open();
      // Deleting what the lookup would find has the same effect as looking first.
      ctx_.SQLCon_Loc.execute("DELETE FROM LOC_PDC" + where, args);
      cur.append();
      fill_row(cur, rs, kProductMapping, full_);
      cur.post();
      auto refused = cur.apply();
      if (!refused.empty()) throw DbError(refused.front().message);
    });
  }

  // Removes the taken inserts and changes from the change log, unless a product of this run failed.
  void acknowledge_changes() {
    if (ctx_.mode != 0 || failures_ > 0) return;
    ctx_.ScriptBuffer = {"DELETE FROM PRODUCT_TEMP WHERE MCH_NO = '" + sql_escape(m()) + "'" +
                         " AND STATE <> 'DELETE' "};
    ctx_.DataModHttp.ExecRemoteStatement(script_text(ctx_.ScriptBuffer));
  }

  RunContext& ctx_;
  bool full_;
  CommitBatcher batch_;
  std::string top_;
  std::size_t failures_ = 0;
};

}  // namespace

void RunProductsJob(RunContext& ctx) { ProductJob(ctx).run(); }

}  // namespace pos

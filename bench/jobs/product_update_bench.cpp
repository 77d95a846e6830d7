// Full update of PRODUCTS products into an empty LOC_PDC and a changes update of CHANGED changed
// products, against the reference service on loopback, each next to its floor measured in the
// same run:
//   full update floor    = the product packet's transfer + a bare prepared insert of the same rows
//                          in one transaction;
//   changes update floor = one round trip per changed product + a bare local replace (delete and
//                          insert) per product in one transaction.
//
//   product_update_bench [PRODUCTS] [CHANGED]      (defaults 50000 and 1000)

#include <cstdio>
#include <cstdlib>

#include "bench/jobs/bench_support.h"
#include "jobs/job_table.h"
#include "tests/support/terminal.h"

using namespace pos;
using namespace pos::bench;

namespace {

const char* kColumns =
    " PROD_ID,PROD_NAME,PROD_ID2,PROD_SNAME,PROD_BARCODE,UNITNAME,SALE_PRICE,PSALE_PRICE,STD_COST,AVG_COST,"
    "PD_CLASSID,SAL_TAG,PD_ITEMID,VIP_PRICE,CR_PRICE,TAX_KIND,P_PU,P_PU2,MEM_DISCOUNT,P_PRICE,P_PRICE2,N_PRICE,"
    "FREE_TAX,HEA_TAX,POINT_YN,PROD_SCALE,STOCK_QTY,DEF_PROFIT,MS,PUT_ID ";

const std::vector<std::string> kLocalColumns = {
    "PDC_NO",    "PDC_NAME",  "PROD_ID",    "PROD_ID2",     "INV_NAME",   "BAR_CODE", "PDC_UNIT",  "GEN_PRICE",
    "STD_PRICE", "STK_PRICE", "PCH_PRICE",  "PD_CLASSID",   "STOP_CODE",  "PDC_TYPE", "VIP_PRICE", "CR_PRICE",
    "TAX_KIND",  "P_PU",      "P_PU2",      "MEM_DISCOUNT", "P_PRICE",    "P_PRICE2", "N_PRICE",   "FREE_TAX",
    "HEA_TAX",   "POINT_YN",  "PROD_SCALE", "STOCK_QTY",    "DEF_PROFIT", "MS",       "PUT_ID"};
const std::vector<std::string> kFields = {
    "PROD_ID",     "PROD_NAME", "PROD_ID",    "PROD_ID2",     "PROD_SNAME", "PROD_BARCODE", "UNITNAME",  "SALE_PRICE",
    "PSALE_PRICE", "STD_COST",  "AVG_COST",   "PD_CLASSID",   "SAL_TAG",    "PD_ITEMID",    "VIP_PRICE", "CR_PRICE",
    "TAX_KIND",    "P_PU",      "P_PU2",      "MEM_DISCOUNT", "P_PRICE",    "P_PRICE2",     "N_PRICE",   "FREE_TAX",
    "HEA_TAX",     "POINT_YN",  "PROD_SCALE", "STOCK_QTY",    "DEF_PROFIT", "MS",           "PUT_ID"};

}  // namespace

int main(int argc, char** argv) {
  int products = argc > 1 ? std::atoi(argv[1]) : 50000;
  int changed = argc > 2 ? std::atoi(argv[2]) : 1000;

  std::printf("seeding %d products...\n", products);
  testing::ReferenceService service({"--scale", "small", "--products", std::to_string(products)});
  testing::Terminal terminal(service);
  terminal.start({"1"});
  TFormTollmere& form = terminal.form();
  TDataModHttp& dm = *form.DataModHttp;
  LocalConnection& con = form.SQLCon_Loc;
  ScratchDatabase scratch;

  // Full update and its floor.
  auto t0 = Clock::now();
  std::string packet = raw_query(dm, std::string("SELECT ") + kColumns + " FROM PRODUCT ");
  double transfer = since(t0);
  RowSet rs;
  t0 = Clock::now();
  rs.load(packet);
  double parse = since(t0);
  double insert = scratch.insert("LOC_PDC", kLocalColumns, kFields, rs);
  double full_floor = transfer + insert;

  const auto [full_counts, full] = time_job(form, 1, 0);
  auto count = con.query("SELECT COUNT(*) FROM LOC_PDC")[0][0].as_text();

  std::printf("\nfull update of %s products (%.1f MiB packet)\n", count.c_str(), packet.size() / 1048576.0);
  std::printf("  floor: transfer %.2f s + bare insert %.2f s = %.2f s   (packet parse alone %.2f s)\n", transfer,
              insert, full_floor, parse);
  std::printf("  job 0: %.2f s  = %.2fx the floor (target <= 3x)\n", full, full / full_floor);

  // Changes update, then its floor.
  service.run_tool({"change", "products", "--count", std::to_string(changed), "--terminals", "001", "--seed", "7"});
  auto ids = service.rows("SELECT PROD_ID FROM PRODUCT_TEMP WHERE MCH_NO = '001' AND STATE <> 'DELETE'");
  const auto [changes_counts, changes] = time_job(form, 0, 0);

  RowSet one, changed_rows;
  t0 = Clock::now();
  for (const auto& id : ids)
    raw_query(dm, std::string("SELECT ") + kColumns + " FROM PRODUCT WHERE PROD_ID = '" + id[0] + "'");
  double round_trips = since(t0);
  t0 = Clock::now();
  for (const auto& id : ids)
    dm.OpenRemoteQuery(one, std::string("SELECT ") + kColumns + " FROM PRODUCT WHERE PROD_ID = '" + id[0] + "'\r\n");
  double module_fetches = since(t0);
  std::string in_list;
  for (const auto& id : ids) in_list += (in_list.empty() ? "'" : ",'") + id[0] + "'";
  changed_rows.load(
      raw_query(dm, std::string("SELECT ") + kColumns + " FROM PRODUCT WHERE PROD_ID IN (" + in_list + ")"));
  double replace = scratch.insert("LOC_PDC", kLocalColumns, kFields, changed_rows,
                                  "DELETE FROM LOC_PDC WHERE BAR_CODE = ? OR PROD_ID = ?", {5, 2});
  double changes_floor = round_trips + replace;

  std::printf("\nchanges update of %zu changed products\n", ids.size());
  std::printf("  floor: %zu round trips %.2f s + bare replace %.2f s = %.2f s\n", ids.size(), round_trips, replace,
              changes_floor);
  std::printf("  (the same fetches through OpenRemoteQuery: %.2f s)\n", module_fetches);
  std::printf("  job 0: %.2f s  = %.2fx the floor (target <= 2x)\n", changes, changes / changes_floor);
  std::printf("\npeak memory of the process: %.0f MiB\n", peak_mib());
  const std::size_t errors = full_counts.failed + full_counts.refused + changes_counts.failed + changes_counts.refused;
  if (errors) std::printf("WARNING: %zu rows failed or were refused\n", errors);
  return 0;
}

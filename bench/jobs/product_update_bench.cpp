// Full update of PRODUCTS products into an empty LOC_PDC and a changes update of CHANGED changed
// products, against the reference service on loopback, each next to its floor measured in the
// same run:
//   full update floor    = the product packet's transfer + a bare prepared insert of the same rows
//                          in one transaction;
//   changes update floor = one round trip per changed product + a bare local replace (delete and
//                          insert) per product in one transaction.
//
//   product_update_bench [PRODUCTS] [CHANGED]      (defaults 50000 and 1000)

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "jobs/job_table.h"
#include "localdb/schema_upkeep.h"
#include "service/data_mod_http.h"
#include "tests/support/terminal.h"
#include "tools/terminal_folder.h"

using namespace pos;
using Clock = std::chrono::steady_clock;

namespace {

const char* kColumns =
    " PROD_ID,PROD_NAME,PROD_ID2,PROD_SNAME,PROD_BARCODE,UNITNAME,SALE_PRICE,PSALE_PRICE,STD_COST,AVG_COST,"
    "PD_CLASSID,SAL_TAG,PD_ITEMID,VIP_PRICE,CR_PRICE,TAX_KIND,P_PU,P_PU2,MEM_DISCOUNT,P_PRICE,P_PRICE2,N_PRICE,"
    "FREE_TAX,HEA_TAX,POINT_YN,PROD_SCALE,STOCK_QTY,DEF_PROFIT,MS,PUT_ID ";

double since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

long peak_kb() {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  return 0;
}

std::vector<FormField> form_for(const TDataModHttp& dm, const std::string& sql) {
  return {{"user_name", dm.ServiceUserName()}, {"password", dm.ServicePassword()}, {"sql", sql}};
}

// A bare prepared insert of the row set's rows into the columns the job writes (values as the
// packet has them) in one committed transaction; with `replace`, each insert is preceded by a
// delete of the row's predecessors.
double bare_insert(LocalConnection& con, const RowSet& rs, bool replace) {
  const char* cols[] = {"PDC_NO",     "PDC_NAME",  "PROD_ID",   "PROD_ID2",  "INV_NAME",   "BAR_CODE",     "PDC_UNIT",
                        "GEN_PRICE",  "STD_PRICE", "STK_PRICE", "PCH_PRICE", "PD_CLASSID", "STOP_CODE",    "PDC_TYPE",
                        "VIP_PRICE",  "CR_PRICE",  "TAX_KIND",  "P_PU",      "P_PU2",      "MEM_DISCOUNT", "P_PRICE",
                        "P_PRICE2",   "N_PRICE",   "FREE_TAX",  "HEA_TAX",   "POINT_YN",   "PROD_SCALE",   "STOCK_QTY",
                        "DEF_PROFIT", "MS",        "PUT_ID"};
  const char* fields[] = {
      "PROD_ID",     "PROD_NAME", "PROD_ID",    "PROD_ID2",     "PROD_SNAME", "PROD_BARCODE", "UNITNAME",  "SALE_PRICE",
      "PSALE_PRICE", "STD_COST",  "AVG_COST",   "PD_CLASSID",   "SAL_TAG",    "PD_ITEMID",    "VIP_PRICE", "CR_PRICE",
      "TAX_KIND",    "P_PU",      "P_PU2",      "MEM_DISCOUNT", "P_PRICE",    "P_PRICE2",     "N_PRICE",   "FREE_TAX",
      "HEA_TAX",     "POINT_YN",  "PROD_SCALE", "STOCK_QTY",    "DEF_PROFIT", "MS",           "PUT_ID"};
  std::string names, marks;
  for (const char* c : cols) {
    names += std::string(names.empty() ? "" : ",") + c;
    marks += marks.empty() ? "?" : ",?";
  }
  std::vector<std::size_t> idx;
  for (const char* f : fields) idx.push_back(rs.field_index(f));
  auto insert = con.prepare("INSERT INTO LOC_PDC (" + names + ") VALUES (" + marks + ")");
  auto del = con.prepare("DELETE FROM LOC_PDC WHERE BAR_CODE = ? OR PROD_ID = ?");
  std::vector<Value> args(idx.size());
  auto t0 = Clock::now();
  con.begin();
  con.run([&](Firebird::ITransaction* t) {
    for (std::size_t r = 0; r < rs.row_count(); ++r) {
      for (std::size_t i = 0; i < idx.size(); ++i) args[i] = rs.value_at(r, idx[i]);
      if (replace) del->execute(t, std::vector<Value>{args[5], args[2]});
      insert->execute(t, args);
    }
  });
  con.commit();
  return since(t0);
}

}  // namespace

// A second terminal database, upgraded and indexed as the job leaves LOC_PDC, for the floors: the
// job's own database never sees the floors' writes (nor their garbage).
struct ScratchDatabase {
  testing::TempFolder home{"posfloor"};
  LocalConnection con;
  ScratchDatabase() {
    make_terminal_folder(TerminalSpec{home.string(), "001", "127.0.0.1", "1"});
    con.open(ConnectionParams{(home / "Data" / "POS_LOC.GDB").string()});
    LocalQuery q(con);
    UpgradeLocalSchema(q);
    for (const char* ix :
         {"CREATE INDEX LOC_PDC1 ON LOC_PDC(PROD_ID)", "CREATE INDEX LOC_PDC2 ON LOC_PDC(BAR_CODE)",
          "CREATE INDEX LOC_PDC3 ON LOC_PDC(PROD_ID,BAR_CODE)", "CREATE INDEX LOC_PDC4 ON LOC_PDC(PDC_NO)"})
      con.execute(ix);
  }
  ~ScratchDatabase() { con.close(); }
};

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
  const std::string url =
      dm.QueryEndpoint() + "?user_name=" + dm.ServiceUserName() + "&password=" + dm.ServicePassword();

  // Full update and its floor.
  std::string all = std::string("SELECT ") + kColumns + " FROM PRODUCT ";
  auto t0 = Clock::now();
  std::string packet = dm.IdHTTP1.post(url, form_for(dm, all));
  double transfer = since(t0);
  RowSet rs;
  t0 = Clock::now();
  rs.load(packet);
  double parse = since(t0);
  double insert = bare_insert(scratch.con, rs, false);
  double full_floor = transfer + insert;

  form.RadioGroup1 = 1;
  RunContext ctx = form.context();
  JobCounters full_counts;
  t0 = Clock::now();
  run_job(job_table()[0], ctx, full_counts);
  double full = since(t0);
  auto count = con.query("SELECT COUNT(*) FROM LOC_PDC")[0][0].as_text();

  std::printf("\nfull update of %s products (%.1f MiB packet)\n", count.c_str(), packet.size() / 1048576.0);
  std::printf("  floor: transfer %.2f s + bare insert %.2f s = %.2f s   (packet parse alone %.2f s)\n", transfer,
              insert, full_floor, parse);
  std::printf("  job 0: %.2f s  = %.2fx the floor (target <= 3x)\n", full, full / full_floor);

  // Changes update, then its floor.
  service.run_tool({"change", "products", "--count", std::to_string(changed), "--terminals", "001", "--seed", "7"});
  auto ids = service.rows("SELECT PROD_ID FROM PRODUCT_TEMP WHERE MCH_NO = '001' AND STATE <> 'DELETE'");
  form.RadioGroup1 = 0;
  RunContext ctx0 = form.context();
  JobCounters changes_counts;
  t0 = Clock::now();
  run_job(job_table()[0], ctx0, changes_counts);
  double changes = since(t0);

  RowSet one, changed_rows;
  t0 = Clock::now();
  for (const auto& id : ids)
    dm.IdHTTP1.post(url,
                    form_for(dm, std::string("SELECT ") + kColumns + " FROM PRODUCT WHERE PROD_ID = '" + id[0] + "'"));
  double round_trips = since(t0);
  t0 = Clock::now();
  for (const auto& id : ids)
    dm.OpenRemoteQuery(one, std::string("SELECT ") + kColumns + " FROM PRODUCT WHERE PROD_ID = '" + id[0] + "'\r\n");
  double module_fetches = since(t0);
  std::string in_list;
  for (const auto& id : ids) in_list += (in_list.empty() ? "'" : ",'") + id[0] + "'";
  changed_rows.load(dm.IdHTTP1.post(
      url, form_for(dm, std::string("SELECT ") + kColumns + " FROM PRODUCT WHERE PROD_ID IN (" + in_list + ")")));
  double replace = bare_insert(scratch.con, changed_rows, true);
  double changes_floor = round_trips + replace;

  std::printf("\nchanges update of %zu changed products\n", ids.size());
  std::printf("  floor: %zu round trips %.2f s + bare replace %.2f s = %.2f s\n", ids.size(), round_trips, replace,
              changes_floor);
  std::printf("  (the same fetches through OpenRemoteQuery: %.2f s)\n", module_fetches);
  std::printf("  job 0: %.2f s  = %.2fx the floor (target <= 2x)\n", changes, changes / changes_floor);
  std::printf("\npeak memory of the process: %.0f MiB\n", peak_kb() / 1024.0);
  const std::size_t errors = full_counts.failed + full_counts.refused + changes_counts.failed + changes_counts.refused;
  if (errors) std::printf("WARNING: %zu rows failed or were refused\n", errors);
  return 0;
}

// Full and changes updates of the three promotion kinds (jobs 6, 8 and 12) against the reference
// service on loopback, each next to its floor measured in the same run:
//   full update floor    = the answer's transfer + a bare prepared insert of its lines in one
//                          transaction;
//   changes update floor = the log statements' and the changed promotions' round trips + a bare
//                          rewrite (delete and insert of the lines) of those promotions in one
//                          transaction.
//
//   promotion_update_bench [PROMOTIONS] [CHANGED]      (defaults 2000 and 100 of each kind)

#include <cstdio>
#include <cstdlib>

#include "bench/jobs/bench_support.h"
#include "jobs/job_table.h"
#include "tests/support/terminal.h"

using namespace pos;
using namespace pos::bench;

namespace {

struct Kind {
  const char* name;
  std::size_t job;
  const char* change_what;           // headoffice-service change ...
  const char* log;                   // the change log
  const char* table;                 // the local table
  std::string line_query;            // the full update's query without its selecting line
  std::string selecting;             // the selecting line before the date / the id
  std::vector<std::string> columns;  // written local columns = answer fields
};

const std::vector<std::string> kSalesColumns = {
    "MASTERBILLID", "BILL_DATE",  "INI_DATE",    "END_DATE",  "REASON",    "PROD_ID",  "PROD_NAME",  "PROD_BARCODE",
    "PD_ITEMID",    "PSALE_FLAG", "PSALE_PRICE", "OLD_PRICE", "VIP_PRICE", "N_QTY",    "G_PROD_ID",  "G_PROD_NAME",
    "G_QTY",        "STORE_ID",   "TEMPPRODID",  "SEC_DIS",   "OVER_AMT",  "PACK_QTY", "PLIMIT_QTY", "POINT_YN"};
const std::vector<std::string> kGiftColumns(kSalesColumns.begin(), kSalesColumns.begin() + 21);
const std::vector<std::string> kBillColumns = {
    "BILL_DATE",    "MASTERBILLID", "PRO_ID",       "INI_DATE",    "INI_TIME",   "END_DATE", "END_TIME",
    "PTSALE_CLASS", "PTSALE_QTY",   "PTSALE_PRICE", "PTSALE_DIS",  "CHG_DATE",   "CHG_USER", "REMARK",
    "PROD_ID",      "PROD_BARCODE", "PROD_NAME",    "PROVIDER_ID", "TEMPPRODID", "SEC_DIS",  "POINT_YN"};

}  // namespace

int main(int argc, char** argv) {
  const int promotions = argc > 1 ? std::atoi(argv[1]) : 2000;
  const int changed = argc > 2 ? std::atoi(argv[2]) : 100;
  const std::string today = "2024/05/31";
  const std::string n = std::to_string(promotions);
  std::printf("seeding %d promotions of each kind...\n", promotions);
  // The floor sends its own bare statements, which admission would refuse.
  testing::ReferenceService service(
      {"--scale", "small", "--promotions", n, "--any-choice", n, "--gifts", n, "--today", today}, "001", std::nullopt,
      "", {"--statements=any"});
  testing::Terminal terminal(service);
  terminal.fix_date(today);
  terminal.start({"1"});
  TFormTollmere& form = terminal.form();
  TDataModHttp& dm = *form.DataModHttp;
  ScratchDatabase scratch;

  const std::vector<Kind> kinds = {
      {"sales promotions", 6, "promotions", "PSALE_TEMP", "PROMOTION",
       "SELECT A.MASTERBILLID,A.BILL_DATE,A.INI_DATE,A.END_DATE,REASON,B.PROD_ID,B.PROD_NAME,B.PROD_BARCODE,"
       "B.PD_ITEMID,B.PSALE_FLAG,B.PSALE_PRICE,B.OLD_PRICE,B.VIP_PRICE,B.N_QTY,B.G_PROD_ID,B.G_PROD_NAME,B.G_QTY,"
       "B.STORE_ID,B.TEMPPRODID,B.SEC_DIS,A.OVER_AMT,B.PACK_QTY,B.PLIMIT_QTY,B.POINT_YN FROM PSALE_MASTER A INNER "
       "JOIN PSALE_SUB B ON A.MASTERBILLID = B.MASTERBILLID ",
       " AND A.BILL_TYPE <> '2' AND B.STOP_SALE = 'N' ", kSalesColumns},
      {"any-choice", 8, "anychoice", "PTSALE_TEMP", "PTSALE",
       "SELECT A.BILL_DATE,A.MASTERBILLID,A.PRO_ID,A.INI_DATE,A.INI_TIME,A.END_DATE,A.END_TIME,A.PTSALE_CLASS,"
       "A.PTSALE_QTY,A.PTSALE_PRICE,A.PTSALE_DIS,A.CHG_DATE,A.CHG_USER,A.REMARK,B.PROD_ID,B.PROD_BARCODE,B.PROD_NAME,"
       "B.PROVIDER_ID,B.TEMPPRODID,A.SEC_DIS,A.POINT_YN FROM PTSALE_MASTER A INNER JOIN PTSALE_SUB B ON "
       "A.MASTERBILLID = B.MASTERBILLID ",
       "", kBillColumns},
      {"gift promotions", 12, "gifts", "GSALE_TEMP", "GPROMOTION",
       "SELECT A.MASTERBILLID,A.BILL_DATE,A.INI_DATE,A.END_DATE,REASON,B.PROD_ID,B.PROD_NAME,B.PROD_BARCODE,"
       "B.PD_ITEMID,B.PSALE_FLAG,B.PSALE_PRICE,B.OLD_PRICE,B.VIP_PRICE,B.N_QTY,B.G_PROD_ID,B.G_PROD_NAME,B.G_QTY,"
       "B.STORE_ID,B.TEMPPRODID,B.SEC_DIS,A.OVER_AMT FROM GSALE_MASTER A INNER JOIN GSALE_SUB B ON A.MASTERBILLID = "
       "B.MASTERBILLID ",
       " AND A.BILL_TYPE <> '2' ", kGiftColumns},
  };

  for (const Kind& k : kinds) {
    // Full update and its floor.
    auto t0 = Clock::now();
    RowSet rs;
    rs.load(raw_query(dm, k.line_query + "WHERE '" + today + "' BETWEEN A.INI_DATE AND A.END_DATE" + k.selecting));
    const double transfer = since(t0);
    const double insert = scratch.insert(k.table, k.columns, k.columns, rs);
    const auto [full_counts, full] = time_job(form, 1, k.job);

    // Changes update and its floor.
    service.run_tool({"change", k.change_what, "--count", std::to_string(changed), "--terminals", "001", "--seed", "5",
                      "--today", today});
    const auto ids = service.rows(std::string("SELECT MASTERBILLID FROM ") + k.log + " WHERE MCH_NO = '001'");
    const auto [changes_counts, changes] = time_job(form, 0, k.job);

    t0 = Clock::now();
    for (int i = 0; i < 6; ++i)
      raw_query(dm, std::string("SELECT MASTERBILLID FROM ") + k.log + " WHERE MCH_NO = '001' ");
    RowSet lines;
    std::string all_lines = k.line_query + "WHERE A.MASTERBILLID IN (";
    for (std::size_t i = 0; i < ids.size(); ++i) {
      raw_query(dm, k.line_query + "WHERE A.MASTERBILLID = '" + ids[i][0] + "'" + k.selecting);
      all_lines += (i ? ",'" : "'") + ids[i][0] + "'";
    }
    const double round_trips = since(t0);
    lines.load(raw_query(dm, all_lines + ")" + k.selecting));
    const double rewrite =
        scratch.insert(k.table, k.columns, k.columns, lines,
                       std::string("DELETE FROM ") + k.table + " WHERE MASTERBILLID = ? AND TEMPPRODID = ?",
                       {static_cast<std::size_t>(k.name[0] == 'a' ? 1 : 0), 18});

    std::printf("\n%s: full update of %zu lines, changes update of %zu promotions\n", k.name, full_counts.written,
                ids.size());
    std::printf("  full:    floor %.2f s (transfer %.2f + bare insert %.2f); job %zu %.2f s = %.2fx (target <= 2x)\n",
                transfer + insert, transfer, insert, k.job, full, full / (transfer + insert));
    std::printf(
        "  changes: floor %.2f s (round trips %.2f + bare rewrite %.2f); job %zu %.2f s = %.2fx (target <= 2x)\n",
        round_trips + rewrite, round_trips, rewrite, k.job, changes, changes / (round_trips + rewrite));
    const std::size_t errors =
        full_counts.failed + full_counts.refused + changes_counts.failed + changes_counts.refused;
    if (errors) std::printf("  WARNING: %zu rows failed or were refused\n", errors);
  }
  std::printf("\npeak memory of the process: %.0f MiB\n", peak_mib());
  return 0;
}

// Full update of MEMBERS members (with their sub-cards: one sub-card query per member) into an
// empty MEMBER table, against the reference service on loopback, next to its floor measured in
// the same run: the member packet's transfer + one bare round trip per member for its sub-cards
// + a bare prepared insert of the same member rows in one transaction.
//
//   member_update_bench [MEMBERS]      (default 20000)

#include <cstdio>
#include <cstdlib>

#include "bench/jobs/bench_support.h"
#include "jobs/job_table.h"
#include "tests/support/terminal.h"

using namespace pos;
using namespace pos::bench;

namespace {

const std::vector<std::string> kColumns = {
    "MEMBER_ID",      "MEMBER_NAME", "MEMBER_PHONE", "MEMBER_ADD", "MEMBER_BIRTHDAY", "SERVICE_ID",    "SERVICE_NAME",
    "JOB_TITLE",      "CARD_ID",     "INI_DATE",     "END_DATE",   "E_MAIL",          "DISABLE_FLAG",  "MAIL_NUM",
    "MOBILE_PHONE",   "NOTE",        "LEAVE_DATE",   "S_NO",       "STOCK_NUM",       "CHG_DATE",      "CHG_USER",
    "MEMBER_CLASSID", "DISCOUNT",    "ID_NO",        "TAX_CODE",   "MAN_SALE",        "INVOICE_CLASS", "SHET_YN",
    "VIP_OK",         "PRICE_FLAG",  "TOTAL_AMT",    "USE_AMT",    "TOTAL_POINT",     "USE_POINT",     "U_DATE"};

}  // namespace

int main(int argc, char** argv) {
  const int members = argc > 1 ? std::atoi(argv[1]) : 20000;
  std::printf("seeding %d members...\n", members);
  // The floor sends its own bare statements, which admission would refuse.
  testing::ReferenceService service({"--scale", "small", "--members", std::to_string(members)}, "001", std::nullopt, "",
                                    {"--statements=any"});
  testing::Terminal terminal(service);
  terminal.start({"1"});
  TFormTollmere& form = terminal.form();
  TDataModHttp& dm = *form.DataModHttp;
  ScratchDatabase scratch;

  // The floor: the member answer, a bare round trip per member, a bare insert.
  auto t0 = Clock::now();
  const std::string packet =
      raw_query(dm, "SELECT * FROM MEMBER A LEFT OUTER JOIN MEMBER_CLASS B ON A.MEMBER_CLASSID = B.CLASS_ID ");
  const double transfer = since(t0);
  RowSet rs;
  rs.load(packet);
  t0 = Clock::now();
  for (std::size_t r = 0; r < rs.row_count(); ++r)
    raw_query(dm, "SELECT * FROM VIPCARD_SUB WHERE MEMBER_ID = '" +
                      rs.value_at(r, rs.field_index("MEMBER_ID")).as_text() + "' ");
  const double round_trips = since(t0);
  const double insert = scratch.insert("MEMBER", kColumns, kColumns, rs);
  const double floor = transfer + round_trips + insert;

  const auto [counts, job] = time_job(form, 1, 7);
  const auto stored = form.SQLCon_Loc.query("SELECT COUNT(*) FROM MEMBER")[0][0].as_text();
  const auto cards = form.SQLCon_Loc.query("SELECT COUNT(*) FROM VIPCARD_SUB")[0][0].as_text();

  std::printf("\nfull update of %s members and %s sub-cards (%.1f MiB member packet)\n", stored.c_str(), cards.c_str(),
              packet.size() / 1048576.0);
  std::printf("  floor: transfer %.2f s + %zu round trips %.2f s + bare insert %.2f s = %.2f s\n", transfer,
              rs.row_count(), round_trips, insert, floor);
  std::printf("  job 7: %.2f s  = %.2fx the floor (target <= 2x)\n", job, job / floor);
  std::printf("\npeak memory of the process: %.0f MiB\n", peak_mib());
  if (counts.failed + counts.refused)
    std::printf("WARNING: %zu rows failed or were refused\n", counts.failed + counts.refused);
  return 0;
}

// The job kit's primitives on a real temporary database: batches, the row loop's policies, refills
// and what ends a job at once.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <thread>

#include "jobs/job_table.h"
#include "jobs/kit/column_mapping.h"
#include "jobs/kit/commit_batcher.h"
#include "jobs/kit/local_writes.h"
#include "jobs/kit/row_loop.h"
#include "jobs/kit/service_steps.h"
#include "localdb/local_work.h"
#include "packet/packet_writer.h"
#include "service/data_mod_http.h"
#include "tests/support/recording_dialogs.h"
#include "tests/support/temp_database.h"
#include "text/big5.h"

namespace pos::testing {
namespace {

// An answer of text columns.
void load_answer(RowSet& rs, const std::vector<std::string>& columns, const std::vector<std::vector<Value>>& rows) {
  std::vector<PacketField> fields;
  for (const auto& c : columns) fields.push_back(field_of_type(c, "string", 20));
  PacketWriter w(fields);
  for (const auto& r : rows) w.add_row(r);
  rs.load(w.finish());
}

const ColumnMap kMapping[] = {{"ID", value_copy("ID")}, {"NAME", text("NAME")}};

class Kit : public ::testing::Test {
 protected:
  Kit() {
    db.run({"CREATE TABLE T (ID INTEGER, NAME VARCHAR(10), CONSTRAINT T_OK CHECK (NAME IS DISTINCT FROM 'BAD'))",
            "CREATE TABLE U (ID INTEGER, NAME VARCHAR(10), CONSTRAINT U_OK CHECK (NAME IS DISTINCT FROM 'BAD'))",
            "INSERT INTO U VALUES (0, 'old')"});
    dm.DataModuleCreate();
    ctx.batch = &batch;
    ctx.counters = &counters;
  }
  // Rows another attachment sees: what is committed.
  std::int64_t committed(const std::string& table) {
    LocalConnection other;
    other.open(db.params());
    return other.query("SELECT COUNT(*) FROM " + table)[0][0].integer();
  }
  void insert_t(int id) { db.con().execute("INSERT INTO T VALUES (?, 'x')", std::vector<Value>{Value(id)}); }
  // The log in UTF-8.
  std::vector<std::string> log_lines() const {
    std::vector<std::string> out;
    for (const auto& l : ctx.log.lines()) out.push_back(big5_to_utf8(l));
    return out;
  }

  TempDatabase db;
  RecordingDialogs dialogs;
  TDataModHttp dm{db.folder(), dialogs};
  std::string machine = "001";
  std::vector<std::string> script;
  RunLog log;
  ProgressBar progress;
  RowSet cds1, cds2, cds4, acds;
  LocalQuery query{db.con()};
  TableCursor cursor1{db.con()}, cursor4{db.con()};
  RunContext ctx{.mode = UpdateMode::Full,
                 .today = "2024/05/31",
                 .machine = machine,
                 .script = script,
                 .log = log,
                 .progress = progress,
                 .answer = cds1,
                 .entries = cds2,
                 .sub_cards = cds4,
                 .product_changes = acds,
                 .local = db.con(),
                 .statement = query,
                 .row_cursor = cursor1,
                 .card_cursor = cursor4,
                 .service = dm,
                 .terminal_folder = db.folder()};
  CommitBatcher batch{db.con(), 3, std::chrono::milliseconds(60000)};
  JobCounters counters;
};

TEST_F(Kit, BatchesCommitByRowsAndByAgeButNeverInsideAUnitOfWork) {
  for (int i = 1; i <= 3; ++i) {
    batch.begin_row();
    insert_t(i);
    batch.row_done();
    EXPECT_EQ(committed("T"), i < 3 ? 0 : 3) << i;
  }
  CommitBatcher aged(db.con(), 1000, std::chrono::milliseconds(20));
  aged.begin_row();
  insert_t(4);
  aged.row_done();
  EXPECT_EQ(committed("T"), 3);  // young
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  {
    LocalWork unit(db.con());
    insert_t(5);
    aged.commit_if_due();
    EXPECT_EQ(committed("T"), 3);  // not while a unit of work is open
    unit.commit();
  }
  aged.commit_if_due();
  EXPECT_EQ(committed("T"), 5);
}

TEST_F(Kit, ARowLoopGoesOnAfterRefusedOrFailedRowsAndUndoesOnlyThoseRows) {
  load_answer(cds1, {"ID", "NAME"}, {{"1", "a"}, {"2", "BAD"}, {"3", "c"}, {"4", "d"}});
  // Refused on apply: reported, counted, and the loop goes on even when other errors end the run.
  for_each_row(ctx, cds1, {.key = "ID", .table = "T", .on_error = OnRowError::EndRun},
               [&] { upsert(ctx, cursor1, "SELECT * FROM T WHERE ID = " + cds1.text("ID"), kMapping, cds1); });
  EXPECT_EQ(counters.written, 3u);
  EXPECT_EQ(counters.refused, 1u);
  ASSERT_EQ(log_lines().size(), 1u);
  EXPECT_TRUE(log_lines()[0].starts_with(" T 2 本機資料庫拒絕寫入: ")) << log_lines()[0];
  EXPECT_EQ(progress.max(), 4);
  EXPECT_EQ(progress.position(), 4);

  // A row whose work fails half-way leaves nothing of itself; the rows around it stay.
  cds1.first();
  for_each_row(ctx, cds1, {.key = "ID", .table = "U", .on_error = OnRowError::LogDataError}, [&] {
    atomically(db.con(), [&] {
      db.con().execute("INSERT INTO U VALUES (?, 'new')", std::vector<Value>{cds1.value("ID")});
      if (cds1.text("ID") == "3") throw std::runtime_error("boom");
    });
  });
  EXPECT_EQ(counters.failed, 1u);
  EXPECT_EQ(log_lines()[1], "3Data Error...!");
  EXPECT_EQ(log_lines()[2], " 原因: boom");
  batch.commit();
  EXPECT_EQ(committed("U"), 4);  // 0, 1, 2 and 4
  EXPECT_EQ(committed("T"), 3);

  // An answer without a column the job reads: the second line names it.
  load_answer(cds1, {"ID"}, {{"9"}});
  for_each_row(ctx, cds1, {.key = "ID", .table = "T", .on_error = OnRowError::LogDataError},
               [&] { cds1.text("NAME"); });
  EXPECT_EQ(log_lines()[3], "9Data Error...!");
  EXPECT_EQ(log_lines()[4], " 原因: Field 'NAME' not found");

  // A row that cannot be taken fails alone, whatever the loop's policy.
  load_answer(cds1, {"ID"}, {{"7"}, {"8"}});
  for_each_row(ctx, cds1, {.key = "ID", .table = "T", .on_error = OnRowError::EndRun}, [&] {
    if (cds1.text("ID") == "7") throw RowFailed("too long");
  });
  EXPECT_EQ(counters.failed, 3u);
  EXPECT_EQ(log_lines()[5], " T 7 處理失敗: too long");
}

TEST_F(Kit, ARefillLeavesOutRefusedRowsAndKeepsTheOldRowsOnAnErrorWhileAWholeRewriteKeepsThemOnEither) {
  batch.begin_row();
  insert_t(1);  // a batch with a row of another table is open
  auto fill = [&](const char* table) {
    return [&, table] {
      open_cursor(cursor1, std::string("SELECT * FROM ") + table);
      for_each_row(ctx, cds1, {.key = "ID", .table = table, .on_error = OnRowError::EndRun},
                   [&] { append_row(ctx, cursor1, kMapping, cds1); });
    };
  };
  auto ids = [&](const std::string& table) {
    std::vector<std::string> out;
    for (const auto& r : db.con().query("SELECT ID FROM " + table + " ORDER BY ID")) out.push_back(r[0].as_text());
    return out;
  };
  // A refused row is left out; the others replace the table.
  load_answer(cds1, {"ID", "NAME"}, {{"1", "a"}, {"2", "BAD"}, {"3", "c"}});
  refill(ctx, "U", {"DELETE FROM U"}, fill("U"));
  EXPECT_EQ(ids("U"), (std::vector<std::string>{"1", "3"}));
  EXPECT_EQ(counters.written, 2u);
  EXPECT_EQ(counters.refused, 1u);

  // "x" is no integer: the error ends the refill and the rows stay as they were.
  load_answer(cds1, {"ID", "NAME"}, {{"4", "a"}, {"x", "b"}});
  EXPECT_THROW(refill(ctx, "U", {"DELETE FROM U"}, fill("U")), FieldValueError);
  EXPECT_EQ(ids("U"), (std::vector<std::string>{"1", "3"}));
  EXPECT_EQ(counters.written, 2u);
  EXPECT_EQ(log_lines().back(), " U 未更新, 保留原有資料");

  // A rewrite of one thing takes effect only whole: a refused row keeps the old rows.
  load_answer(cds1, {"ID", "NAME"}, {{"5", "a"}, {"6", "BAD"}});
  EXPECT_FALSE(replace_whole(
      ctx, "U", "P1", [&] { db.con().execute("DELETE FROM U WHERE ID = 1"); }, fill("U")));
  EXPECT_EQ(ids("U"), (std::vector<std::string>{"1", "3"}));
  EXPECT_EQ(log_lines().back(), " U P1 有 1 筆被拒絕, 保留原有資料");
  load_answer(cds1, {"ID", "NAME"}, {{"5", "a"}});
  EXPECT_TRUE(replace_whole(
      ctx, "U", "P1", [&] { db.con().execute("DELETE FROM U WHERE ID = 1"); }, fill("U")));
  EXPECT_EQ(ids("U"), (std::vector<std::string>{"3", "5"}));

  EXPECT_EQ(committed("U"), 1);  // still the batch's: nothing committed yet
  batch.commit();
  EXPECT_EQ(committed("U"), 2);
  EXPECT_EQ(committed("T"), 1);
}

TEST_F(Kit, ALostServiceOrLocalConnectionEndsTheJobAtOnceKeepingWhatWasDone) {
  load_answer(cds1, {"ID"}, {{"1"}, {"2"}, {"3"}});
  int bodies = 0;
  JobEntry lost_service{"", " job", [&](RunContext& c) {
                          for_each_row(c, cds1, {.key = "ID", .table = "T", .on_error = OnRowError::LogDataError}, [&] {
                            if (++bodies == 2) throw SilentAbort();
                            insert_t(bodies);
                          });
                        }};
  EXPECT_THROW(run_job(lost_service, ctx, counters), SilentAbort);
  EXPECT_EQ(bodies, 2);
  EXPECT_EQ(committed("T"), 1);  // the row done before stays
  EXPECT_EQ(log_lines(), std::vector<std::string>{" job"});

  LocalConnection killer;
  killer.open(db.params());
  const Value id = db.con().query("SELECT CURRENT_CONNECTION FROM RDB$DATABASE")[0][0];
  cds1.first();
  bodies = 0;
  JobEntry lost_database{
      "", " job", [&](RunContext& c) {
        for_each_row(c, cds1, {.key = "ID", .table = "T", .on_error = OnRowError::LogDataError}, [&] {
          if (++bodies == 2)
            killer.execute("DELETE FROM MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID = ?", std::vector<Value>{id});
          insert_t(bodies);
        });
      }};
  EXPECT_THROW(run_job(lost_database, ctx, counters), LocalConnectionLost);
  EXPECT_EQ(bodies, 2);
  const auto lines = log_lines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "2Data Error...!"), 1);
  EXPECT_EQ(lines.size(), 4u);  // two first lines, the row's line and its message
}

TEST_F(Kit, ABatchGrownOldIsCommittedWhileTheJobWaitsOnTheService) {
  // A service that takes a connection and answers nothing for 1.5 s.
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(::listen(listener, 1), 0);
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
  std::ofstream(db.folder() / "httpset.ini") << "[set]\nport=" << ntohs(addr.sin_port) << "\n";
  dm.DataModuleCreate();
  std::int64_t committed_while_waiting = -1;
  std::thread silent([&] {
    const int c = ::accept(listener, nullptr, nullptr);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    committed_while_waiting = committed("T");
    ::close(c);
  });
  JobEntry waits{"", " job", [&](RunContext& c) {
                   c.batcher().begin_row();
                   insert_t(1);
                   c.batcher().row_done();  // a young batch: not committed yet
                   service_query(c, cds1, {"select 1"});
                 }};
  EXPECT_THROW(run_job(waits, ctx, counters), SilentAbort);
  silent.join();
  ::close(listener);
  EXPECT_EQ(committed_while_waiting, 1);
}

}  // namespace
}  // namespace pos::testing

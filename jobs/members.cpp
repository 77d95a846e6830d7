// Job 7: members with their sub-cards, following the member change log, then the member-class
// discounts. A member and its sub-cards are written as one unit of work, after both were fetched.

#include "jobs/changes_update_texts.h"
#include "jobs/jobs.h"
#include "jobs/kit/change_log.h"
#include "jobs/kit/keyed_fetch.h"
#include "jobs/kit/local_statements.h"
#include "jobs/kit/local_writes.h"
#include "jobs/kit/service_steps.h"
#include "jobs/member_cards.h"
#include "localdb/local_work.h"
#include "service/diagnostics.h"
#include "text/sql_text.h"

namespace pos {

namespace {

// Member change-log entries of `machine`: listed with `listed` and removed with `removed` after
// the machine's condition.
LoggedKeys member_log(const std::string& machine, const std::string& listed, const std::string& removed,
                      const char* taken_as) {
  const std::string from = " FROM MEMBER_TEMP WHERE MCH_NO = '" + sql_escape(machine) + "'";
  return {.list = {"SELECT MEMBER_ID" + from + listed},
          .key = "MEMBER_ID",
          .taken_as = taken_as,
          .remove = {Transport::Script, "DELETE" + from + removed}};
}

const ColumnMap kMemberMapping[] = {
    {"MEMBER_ID", text("MEMBER_ID")},
    {"MEMBER_NAME", text("MEMBER_NAME")},
    {"MEMBER_PHONE", text("MEMBER_PHONE")},
    {"MEMBER_ADD", text("MEMBER_ADD")},
    {"MEMBER_BIRTHDAY", text("MEMBER_BIRTHDAY")},
    {"SERVICE_ID", text("SERVICE_ID")},
    {"SERVICE_NAME", text("SERVICE_NAME")},
    {"JOB_TITLE", text("JOB_TITLE")},
    {"CARD_ID", text("CARD_ID")},
    {"INI_DATE", text("INI_DATE")},
    {"END_DATE", text("END_DATE")},
    {"E_MAIL", text("E_MAIL")},
    {"DISABLE_FLAG", text("DISABLE_FLAG")},
    {"MAIL_NUM", text("MAIL_NUM")},
    {"MOBILE_PHONE", text("MOBILE_PHONE")},
    {"NOTE", text("NOTE")},
    {"LEAVE_DATE", value_copy("LEAVE_DATE")},
    {"S_NO", text("S_NO")},
    {"STOCK_NUM", text("STOCK_NUM")},
    {"CHG_DATE", text("CHG_DATE")},
    {"CHG_USER", text("CHG_USER")},
    {"MEMBER_CLASSID", text("MEMBER_CLASSID")},
    {"CLASS_ID", text("MEMBER_CLASSID")},
    {"DISCOUNT", value_copy("DISCOUNT"), In::ChangesUpdate},
    {"DISCOUNT", integer_parse("DISCOUNT", 0), In::FullUpdate},
    {"ID_NO", text("ID_NO")},
    {"TAX_CODE", value_copy("TAX_CODE")},
    {"MAN_SALE", text("MAN_SALE")},
    {"IDIS", integer_parse("IDIS", 0), In::ChangesUpdate},
    {"IDIS", number_from_text("IDIS", 0), In::FullUpdate},
    {"INVOICE_CLASS", text("INVOICE_CLASS")},
    {"SHET_YN", text("SHET_YN")},
    {"VIP_OK", text("VIP_OK")},
    {"PRICE_FLAG", text("PRICE_FLAG")},
    {"TOTAL_AMT", constant(0)},
    {"N_AMT", constant(0)},
    {"USE_AMT", constant(0)},
    {"TOTAL_point", constant(0)},
    {"N_POINT", constant(0)},
    {"USE_Point", constant(0)},
    {"U_DATE", today()},
};

// The member query; with a condition, the ninth line selects members by it (changes update).
std::vector<std::string> member_lines(const std::string& condition) {
  std::vector<std::string> lines = {
      "SELECT A.MEMBER_ID, A.MEMBER_NAME, A.MEMBER_PHONE, A.MEMBER_ADD, A.MEMBER_BIRTHDAY, A.SERVICE_ID, "
      "A.SERVICE_NAME, ",
      "       A.JOB_TITLE, A.TOTAL_AMT, A.CARD_ID, A.INI_DATE, A.END_DATE, A.E_MAIL, A.DISABLE_FLAG, A.MAIL_NUM, "
      "A.MOBILE_PHONE, ",
      "       A.NOTE, A.LEAVE_DATE, A.S_NO, A.STOCK_NUM, A.CHG_DATE, A.CHG_USER, A.MEMBER_CLASSID, A.DISCOUNT, "
      "A.ID_NO, ",
      "       A.TAX_CODE, A.MAN_SALE, A.CHG_TIME, A.SEX, A.INVOICE_CLASS, A.UPPER_AMT, A.SHET_YN, A.MEMBER_PHONE2, "
      "A.PASS_WD, ",
      "       A.SALES_ID, A.MADD_CASH, A.ADD_RATE, A.CUST_ID, A.PRICE_FLAG, A.SELECT_YN, A.BANK_ID, A.BANK_NAME, "
      "A.BANK_TITLE, ",
      "       A.BANK_ACCID, A.USE_AMT, A.TOTAL_POINT, A.USE_POINT, A.U_DATE, A.VIP_OK, A.MEMBER_ITEMID, A.AREA, "
      "A.BOSS_NAME, ",
      "       A.BUSINESS_NUM, A.CORP_TEL, A.DM_YN, A.FAX_NUM, A.BEFORE_POINT, A.OLD_ID, A.DEL_DATE,B.IDIS FROM MEMBER "
      "A "
      "LEFT OUTER JOIN MEMBER_CLASS B ",
      "       ON A.MEMBER_CLASSID = B.CLASS_ID ",
  };
  if (!condition.empty()) lines.push_back("       where " + condition);
  return lines;
}

// Changes update: each logged member is fetched (its query saved to 123.txt), then it and its
// sub-cards are written; a member the service no longer returns is skipped.
void take_changed_members(RunContext& ctx) {
  RowSet& changed = ctx.entries;
  RowSet& member = ctx.answer;
  RowSet& sub_cards = ctx.sub_cards;  // where write_sub_cards reads them
  KeyedQuery by_key = member_query();
  by_key.before_request = [&](const std::vector<std::string>& lines) {
    write_diagnostic_file(ctx.terminal_folder / "123.txt", script_text(lines));
  };
  KeyedFetch members(ctx, std::move(by_key));
  KeyedFetch cards(ctx, sub_card_query());
  take_change_log(
      ctx, {.list = changed,
            .log = changed_members(ctx.machine),
            .loop = {.key = "MEMBER_ID", .table = "MEMBER", .on_error = OnRowError::EndRun, .progress = false},
            .apply =
                [&] {
                  const std::string logged = changed.text("MEMBER_ID");
                  members.fetch(member, logged);
                  if (member.row_count() == 0) return;
                  const std::string id = member.text("MEMBER_ID");
                  cards.fetch(sub_cards, id);
                  atomically(ctx.local, [&] {
                    upsert(ctx, "SELECT * FROM MEMBER WHERE MEMBER_ID = ?", kMemberMapping, member, {Value(logged)});
                    write_sub_cards(ctx, id);
                  });
                },
            .before_chunk =
                [&](const std::vector<std::string>& keys) {
                  members.prefetch(keys);
                  cards.prefetch(members.prefetched_keys());
                }});
}

// Entries of any other state are never applied: they are removed, by name, as the group's
// acknowledgement removed them, without touching an addition or change logged meanwhile.
void clear_other_entries(RunContext& ctx) {
  RowSet& entries = ctx.entries;
  remove_listed(ctx, entries, other_member_entries(ctx.machine));
}

// Full update: every member replaces its local row by a fresh one. The log's entries are listed,
// remembered and removed before the members are fetched, so the fetch covers them and an entry
// logged after it stays for the next run; they are forgotten once every member was written.
void write_all_members(RunContext& ctx) {
  RowSet& logged = ctx.entries;
  RowSet& members = ctx.answer;
  const LoggedKeys all = member_log(ctx.machine, " AND STATE <> 'DELETE' ", " AND STATE <> 'DELETE' ", nullptr);
  service_query(ctx, logged, all.list);
  take_before_fetch(ctx, logged, "MEMBER_ID", "MEMBER_TEMP CHANGE", all.remove);
  service_query(ctx, members, member_lines(""));
  const JobCounters before = ctx.count();
  TableCursor& member_rows = ctx.row_cursor;
  RowSet& sub_cards = ctx.sub_cards;  // where write_sub_cards reads them
  KeyedFetch cards(ctx, sub_card_query());
  if (members.row_count() > 0) {
    for_each_row_in_chunks(
        ctx, members, {.key = "MEMBER_ID", .table = "MEMBER", .on_error = OnRowError::LogDataError}, "MEMBER_ID",
        [&](const std::vector<std::string>& ids) { cards.prefetch(ids); },
        [&] {
          const std::string id = members.text("MEMBER_ID");
          cards.fetch(sub_cards, id);
          atomically(ctx.local, [&] {
            open_cursor(member_rows, "SELECT * FROM MEMBER WHERE MEMBER_ID = ?", {Value(id)});
            if (member_rows.row_count() > 0) run_local(ctx, "DELETE FROM MEMBER WHERE MEMBER_ID = ?", {Value(id)});
            append_row(ctx, member_rows, kMemberMapping, members);
            write_sub_cards(ctx, id);
          });
        });
  }
  if (!ctx.count().faults_since(before)) forget_taken(ctx, "MEMBER_TEMP CHANGE");
}

}  // namespace

LoggedKeys deleted_members(const std::string& machine) {
  return member_log(machine, " AND STATE = 'DELETE' ", " AND STATE = 'DELETE' ;", "MEMBER_TEMP DELETE");
}

LoggedKeys changed_members(const std::string& machine) {
  return member_log(machine, " AND (STATE = 'UPDATE' OR STATE = 'INSERT') ", " AND STATE <> 'DELETE' ;",
                    "MEMBER_TEMP CHANGE");
}

KeyedQuery member_query() { return {.key_field = "MEMBER_ID", .column = "A.MEMBER_ID", .lines = member_lines}; }

LoggedKeys other_member_entries(const std::string& machine) {
  const std::string others = " AND STATE <> 'DELETE' AND STATE <> 'UPDATE' AND STATE <> 'INSERT'";
  return member_log(machine, others, others + " ;", nullptr);
}

void sync_members(RunContext& ctx) {
  if (ctx.changes_update()) {
    take_deletions(ctx, deleted_members(ctx.machine), "MEMBER");
    take_changed_members(ctx);
    clear_other_entries(ctx);
  } else if (ctx.full_update()) {
    take_deletions(ctx, deleted_members(ctx.machine), "MEMBER");
    write_all_members(ctx);
  }
  rebuild_class_discounts(ctx);
}

}  // namespace pos

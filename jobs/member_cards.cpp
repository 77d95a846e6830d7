#include "jobs/member_cards.h"

#include "jobs/changes_update_texts.h"
#include "jobs/kit/local_statements.h"
#include "jobs/kit/local_writes.h"
#include "jobs/kit/row_loop.h"
#include "jobs/kit/service_steps.h"
#include "text/big5.h"
#include "text/sql_text.h"

namespace pos {

namespace {

const ColumnMap kSubCardMapping[] = {
    {"MEMBER_ID", text("MEMBER_ID")},     {"MAINCARD_ID", text("MAINCARD_ID")}, {"SUBCARD_ID", text("SUBCARD_ID")},
    {"SUBCARD_MAN", text("SUBCARD_MAN")}, {"REMARK", text("REMARK")},           {"CR_DATE", text("CR_DATE")},
    {"CHG_DATE", text("CHG_DATE")},       {"DEL_FLAG", text("DEL_FLAG")},       {"SAL_TAG", text("SAL_TAG")},
};

const ColumnMap kClassDiscountParameters[] = {
    {"MEM_CLASSID", text("MEM_CLASSID")},
    {"PD_CLASSID", text("PD_CLASSID")},
    {"PD_CLASSNAME", text("PD_CLASSNAME")},
    {"DISCOUNT", number_from_text("DISCOUNT", 100)},
    {"REMARK", text("REMARK")},
};

}  // namespace

// Most members have no sub-cards: a member its chunk's answer lacks has none.
KeyedQuery sub_card_query() {
  return {.key_field = "MEMBER_ID",
          .column = "MEMBER_ID",
          .lines = [](const std::string& condition) -> std::vector<std::string> {
            return {"SELECT * FROM VIPCARD_SUB WHERE " + condition};
          },
          .ask_again = false};
}

QueryLines class_discounts_query() {
  return {"select MEM_CLASSID,PD_CLASSID,PD_CLASSNAME,DISCOUNT,REMARK FROM MEMLEVEL_PDCLASS_DIS"};
}

void write_sub_cards(RunContext& ctx, const std::string& id) {
  RowSet& cards = ctx.sub_cards;
  if (cards.row_count() == 0) {
    run_local(ctx, "delete from VIPCARD_SUB WHERE MEMBER_ID = ?", {Value(id)});
    return;
  }
  TableCursor& local_cards = ctx.card_cursor;
  open_cursor(local_cards,
              ctx.full_update() ? "SELECT * from VIPCARD_SUB WHERE MEMBER_ID = ?"
                                : "SELECT * FROM VIPCARD_SUB WHERE MEMBER_ID = ?",
              {Value(id)});
  for (cards.first(); !cards.eof(); cards.next()) {
    if (local_cards.locate("SUBCARD_ID", Value(cards.text("SUBCARD_ID"))))
      local_cards.edit();
    else
      local_cards.append();
    fill_row(local_cards, cards, kSubCardMapping, scope_of(ctx));
    apply_row(ctx, local_cards);
  }
}

void rebuild_class_discounts(RunContext& ctx) {
  ctx.log.append(big5(" 會員類別折扣傳送中...!"));
  RowSet& discounts = ctx.answer;
  service_query(ctx, discounts, class_discounts_query());
  refill(ctx, "MEMLEVEL_PDCLASS_DIS", {"DELETE FROM MEMLEVEL_PDCLASS_DIS"}, [&] {
    if (discounts.row_count() == 0) return;
    insert_each_row(ctx, discounts,
                    {.key = "MEM_CLASSID", .table = "MEMLEVEL_PDCLASS_DIS", .on_error = OnRowError::EndRun},
                    {"Insert into MEMLEVEL_PDCLASS_DIS(MEM_CLASSID,PD_CLASSID,PD_CLASSNAME,DISCOUNT,REMARK) ",
                     " VALUES(:MEM_CLASSID,:PD_CLASSID,:PD_CLASSNAME,:DISCOUNT,:REMARK) "},
                    kClassDiscountParameters);
  });
}

}  // namespace pos

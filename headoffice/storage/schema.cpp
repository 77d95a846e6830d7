#include "headoffice/storage/schema.h"

#include <algorithm>
#include <stdexcept>

#include "text/ascii.h"

namespace pos::headoffice {
namespace {
// clang-format off

ColumnDef text(std::string name, int width, bool not_null = false) {
  return {std::move(name), "VARCHAR(" + std::to_string(width) + ")", not_null, {}};
}
ColumnDef integer(std::string name) { return {std::move(name), "INTEGER", false, {}}; }
ColumnDef number(std::string name) { return {std::move(name), "DOUBLE PRECISION", false, {}}; }

// Change logs: terminal, state ('INSERT' / 'UPDATE' / 'DELETE'), the changed key, for the
// promotion logs the taken mark ('W' once a terminal has taken the entry, empty before), and the
// time it was logged.
TableDef change_log(std::string name, ColumnDef key, bool with_tran_code) {
  TableDef t{std::move(name), {text("MCH_NO", 5, true), std::move(key), text("STATE", 10, true)}, {}, {}};
  if (with_tran_code) t.columns.push_back({"TRAN_CODE", "VARCHAR(1)", false, "''"});
  // When the entry was logged, filled by the database for any writer that does not name it.
  t.columns.push_back({"LOGGED_AT", "TIMESTAMPTZ", false, "CURRENT_TIMESTAMP"});
  // A terminal's listings and removals find its entries of a state; the status page and /metrics
  // find the oldest entries without reading the log.
  t.indexes.push_back({"MCH_NO", "STATE"});
  t.indexes.push_back({"LOGGED_AT"});
  return t;
}

std::vector<TableDef> make_tables() {
  std::vector<TableDef> t;

  // Machines; TOP_ITEMID, when set, limits the products a terminal receives.
  t.push_back({"MCH_ITEM",
               {text("MCH_NO", 5, true), text("MCH_NAME", 40), text("MCH_IP", 20), text("STOCK_ID", 10),
                text("TOP_ITEMID", 10), text("CHG_DATE", 10), text("CHG_USER", 10)},
               {"MCH_NO"},
               {}});

  // Category hierarchy: department > top category > group > small category.
  t.push_back({"PROD_DEPART", {text("PD_DEPID", 10, true), text("PD_DEPNAME", 40)}, {"PD_DEPID"}, {}});
  t.push_back({"PROD_TOPITEM",
               {text("TOP_ITEMID", 10, true), text("TOP_ITEMNAME", 40), text("PD_DEPID", 10)},
               {"TOP_ITEMID"},
               {}});
  t.push_back({"PROD_HIITEM",
               {text("PD_GRPID", 10, true), text("PD_GRPNAME", 40), text("TOP_ITEMID", 10)},
               {"PD_GRPID"},
               {}});
  t.push_back({"PROD_ITEM",
               {text("PD_ITEMID", 10, true), text("PD_ITEMNAME", 40), text("PD_GRPID", 10), text("M_SHOW", 1)},
               {"PD_ITEMID"},
               {}});

  t.push_back({"PRODUCT",
               {text("PROD_ID", 20, true), text("PROD_NAME", 50), text("PROD_ID2", 20), text("PROD_SNAME", 40),
                text("PROD_BARCODE", 20), text("UNITNAME", 10), number("SALE_PRICE"), number("PSALE_PRICE"),
                number("STD_COST"), number("AVG_COST"), text("PD_CLASSID", 10), text("SAL_TAG", 1),
                text("PD_ITEMID", 10), number("VIP_PRICE"), number("CR_PRICE"), text("TAX_KIND", 1),
                text("P_PU", 10), text("P_PU2", 10), text("MEM_DISCOUNT", 10), number("P_PRICE"),
                number("P_PRICE2"), number("N_PRICE"), number("FREE_TAX"), number("HEA_TAX"),
                text("POINT_YN", 1), text("PROD_SCALE", 30), text("STOCK_QTY", 5), number("DEF_PROFIT"),
                text("MS", 1), text("PUT_ID", 10), text("CHG_DATE", 10), text("CHG_USER", 10)},
               {"PROD_ID"},
               {{"PROD_BARCODE"}, {"PD_ITEMID"}}});
  t.push_back(change_log("PRODUCT_TEMP", text("PROD_ID", 20, true), false));

  t.push_back({"EMPLOYEE",
               {text("EMPLOYEE_ID", 10, true), text("EMPLOYEE_NAME", 40), text("PASS_WD", 20),
                text("CHK_CODE", 20)},
               {"EMPLOYEE_ID"},
               {}});
  t.push_back({"WRK_ITEM",
               {text("WRK_NO", 10, true), text("WRK_NAME", 20), text("WRK_ALOW", 10), text("START_TIME", 8),
                text("END_TIME", 8), text("WORK_TIME", 8)},
               {"WRK_NO"},
               {}});

  // Paper invoice word tracks per period (ROC year, month), e-invoice ranges per terminal.
  t.push_back({"INV_WORD", {text("YY", 4, true), text("MM", 2, true), text("INV_WORD", 2)}, {"YY", "MM"}, {}});
  t.push_back({"EINVOICE_WORD",
               {text("MCH_NO", 5, true), text("EYY", 4, true), text("EMM", 2, true), text("EWORD", 2),
                text("BG_NUM", 10), text("ED_NUM", 10), text("CHG_DATE", 10), text("CHG_USER", 10)},
               {"MCH_NO", "EYY", "EMM"},
               {}});

  // Bundle barcodes: a pack of a product sold under a barcode of its own.
  t.push_back({"PROD_SALE",
               {text("PROD_ID", 20, true), text("SAL_BARCODE", 20, true), text("SAL_NAME", 50),
                integer("PACK_QTY"), text("SAL_UNITNAME", 10), number("SAL_PRICE"), number("VIP_PRICE")},
               {"SAL_BARCODE"},
               {{"PROD_ID"}}});

  // Sales promotions: header and product lines.
  t.push_back(change_log("PSALE_TEMP", text("MASTERBILLID", 20, true), true));
  t.push_back({"PSALE_MASTER",
               {text("MASTERBILLID", 20, true), text("BILL_DATE", 10), text("INI_DATE", 10), text("END_DATE", 10),
                text("REASON", 100), integer("OVER_AMT"), text("BILL_TYPE", 1), text("CHG_DATE", 10),
                text("CHG_USER", 10)},
               {"MASTERBILLID"},
               {}});
  t.push_back({"PSALE_SUB",
               {text("MASTERBILLID", 20, true), text("TEMPPRODID", 20, true), text("PROD_ID", 20),
                text("PROD_NAME", 50), text("PROD_BARCODE", 20), text("PD_ITEMID", 10), text("PSALE_FLAG", 10),
                number("PSALE_PRICE"), number("OLD_PRICE"), number("VIP_PRICE"), integer("N_QTY"),
                text("G_PROD_ID", 20), text("G_PROD_NAME", 50), integer("G_QTY"), text("STORE_ID", 10),
                text("SEC_DIS", 1), integer("PACK_QTY"), integer("PLIMIT_QTY"), text("POINT_YN", 1),
                text("STOP_SALE", 1)},
               {"MASTERBILLID", "TEMPPRODID"},
               {}});

  // Members, their classes, sub-cards and class discounts per product class.
  t.push_back(change_log("MEMBER_TEMP", text("MEMBER_ID", 10, true), false));
  t.push_back({"MEMBER_CLASS",
               {text("CLASS_ID", 10, true), text("CLASS_NAME", 40), number("IDIS")},
               {"CLASS_ID"},
               {}});
  t.push_back({"MEMBER",
               {text("MEMBER_ID", 10, true), text("MEMBER_NAME", 40), text("MEMBER_PHONE", 20),
                text("MEMBER_ADD", 100), text("MEMBER_BIRTHDAY", 10), text("SERVICE_ID", 10),
                text("SERVICE_NAME", 40), text("JOB_TITLE", 20), number("TOTAL_AMT"), text("CARD_ID", 20),
                text("INI_DATE", 10), text("END_DATE", 10), text("E_MAIL", 60), text("DISABLE_FLAG", 1),
                text("MAIL_NUM", 10), text("MOBILE_PHONE", 20), text("NOTE", 200), text("LEAVE_DATE", 10),
                text("S_NO", 10), text("STOCK_NUM", 10), text("CHG_DATE", 10), text("CHG_USER", 10),
                text("MEMBER_CLASSID", 10), number("DISCOUNT"), text("ID_NO", 20), text("TAX_CODE", 10),
                text("MAN_SALE", 10), text("CHG_TIME", 8), text("SEX", 1), text("INVOICE_CLASS", 10),
                number("UPPER_AMT"), text("SHET_YN", 1), text("MEMBER_PHONE2", 20), text("PASS_WD", 20),
                text("SALES_ID", 10), number("MADD_CASH"), number("ADD_RATE"), text("CUST_ID", 10),
                text("PRICE_FLAG", 1), text("SELECT_YN", 1), text("BANK_ID", 10), text("BANK_NAME", 40),
                text("BANK_TITLE", 40), text("BANK_ACCID", 20), number("USE_AMT"), number("TOTAL_POINT"),
                number("USE_POINT"), text("U_DATE", 10), text("VIP_OK", 1), text("MEMBER_ITEMID", 10),
                text("AREA", 20), text("BOSS_NAME", 40), text("BUSINESS_NUM", 10), text("CORP_TEL", 20),
                text("DM_YN", 1), text("FAX_NUM", 20), number("BEFORE_POINT"), text("OLD_ID", 10),
                text("DEL_DATE", 10)},
               {"MEMBER_ID"},
               {}});
  t.push_back({"VIPCARD_SUB",
               {text("MEMBER_ID", 10, true), text("MAINCARD_ID", 20), text("SUBCARD_ID", 20, true),
                text("SUBCARD_MAN", 20), text("REMARK", 100), text("CR_DATE", 10), text("CHG_DATE", 10),
                text("DEL_FLAG", 5), text("SAL_TAG", 1), number("ADD_RATE"), text("STOP_DATE", 10),
                text("PD_DEPID", 10), text("ICPASS_YN", 1), text("ICPASS", 10)},
               {"MEMBER_ID", "SUBCARD_ID"},
               {}});
  t.push_back({"MEMLEVEL_PDCLASS_DIS",
               {text("MEM_CLASSID", 10, true), text("PD_CLASSID", 10, true), text("PD_CLASSNAME", 40),
                number("DISCOUNT"), text("REMARK", 100)},
               {"MEM_CLASSID", "PD_CLASSID"},
               {}});

  // Any-choice promotions.
  t.push_back(change_log("PTSALE_TEMP", text("MASTERBILLID", 20, true), true));
  t.push_back({"PTSALE_MASTER",
               {text("MASTERBILLID", 20, true), text("BILL_DATE", 10), text("PRO_ID", 20), text("INI_DATE", 10),
                text("INI_TIME", 8), text("END_DATE", 10), text("END_TIME", 8), text("PTSALE_CLASS", 10),
                integer("PTSALE_QTY"), number("PTSALE_PRICE"), number("PTSALE_DIS"), text("CHG_DATE", 10),
                text("CHG_USER", 10), text("REMARK", 100), text("SEC_DIS", 1), text("POINT_YN", 1)},
               {"MASTERBILLID"},
               {}});
  t.push_back({"PTSALE_SUB",
               {text("MASTERBILLID", 20, true), text("TEMPPRODID", 20, true), text("PROD_ID", 20),
                text("PROD_BARCODE", 20), text("PROD_NAME", 50), text("PROVIDER_ID", 10)},
               {"MASTERBILLID", "TEMPPRODID"},
               {}});

  // Keyboard maps: keys and the products under each key.
  t.push_back({"LOC_KEY_MAP",
               {text("ID_NO", 10, true), text("PDC_NO", 20), text("PDC_NAME", 50), text("MEMO", 100)},
               {"ID_NO"},
               {}});
  t.push_back({"LOC_KEY_MAP_SUB",
               {text("ID_NO", 10, true), text("PDC_NO", 20, true), text("PDC_NAME", 50), text("MEMO", 100)},
               {"ID_NO", "PDC_NO"},
               {}});

  t.push_back({"MEMDIS_LEVEL",
               {text("CLASS_ID", 10, true), integer("LEVEL_ID"), number("LO_AMT"), number("HI_AMT"),
                number("I_DISCOUNT")},
               {},
               {{"CLASS_ID", "LEVEL_ID"}}});
  t.push_back({"POINT_SET",
               {text("INI_DATE", 10, true), number("SAL_AMT"), integer("CHG_POINT"), text("CHG_DATE", 10),
                text("CHG_USER", 10)},
               {"INI_DATE"},
               {}});

  // Gift promotions.
  t.push_back(change_log("GSALE_TEMP", text("MASTERBILLID", 20, true), true));
  t.push_back({"GSALE_MASTER",
               {text("MASTERBILLID", 20, true), text("BILL_DATE", 10), text("INI_DATE", 10), text("END_DATE", 10),
                text("REASON", 100), integer("OVER_AMT"), text("BILL_TYPE", 1), text("CHG_DATE", 10),
                text("CHG_USER", 10)},
               {"MASTERBILLID"},
               {}});
  t.push_back({"GSALE_SUB",
               {text("MASTERBILLID", 20, true), text("TEMPPRODID", 20, true), text("PROD_ID", 20),
                text("PROD_NAME", 50), text("PROD_BARCODE", 20), text("PD_ITEMID", 10), text("PSALE_FLAG", 10),
                number("PSALE_PRICE"), number("OLD_PRICE"), number("VIP_PRICE"), integer("N_QTY"),
                text("G_PROD_ID", 20), text("G_PROD_NAME", 50), integer("G_QTY"), text("STORE_ID", 10),
                text("SEC_DIS", 1)},
               {"MASTERBILLID", "TEMPPRODID"},
               {}});

  // Stored-value cards; STOP_YN 'Y' marks a stopped card.
  t.push_back({"SMARTCARD_DATA",
               {text("CARD_ID", 20, true), text("MEMBER_ID", 10), text("PIN_CODE", 20), text("CR_DATE", 10),
                text("CHG_DATE", 10), text("STOP_YN", 1), text("STOP_DATE", 10)},
               {"CARD_ID"},
               {{"STOP_YN"}}});
  // What the service saw of each terminal's runs, for the status page (times UTC, YYYY-MM-DD
  // HH:MM:SS): the run last begun, the last changes and full updates (the seconds of the last one
  // that reached its last job), the last error answer, the sign-ins refused since it last signed in.
  // Columns added later are added to an older table by init (add_missing_columns).
  t.push_back({"TERMINAL_STATUS",
               {text("MCH_NO", 5, true), text("LAST_SEEN", 19), text("RUN_STARTED", 19), text("RUN_KIND", 7),
                text("RUN_ENDED", 19), integer("RUN_REQUESTS"), text("RUN_ERROR", 200), text("CHANGES_STARTED", 19),
                integer("CHANGES_ENDED"), text("FULL_STARTED", 19), integer("FULL_ENDED"), text("LAST_ERROR", 200),
                text("LAST_ERROR_AT", 19), integer("CHANGES_SECONDS"), integer("FULL_SECONDS"),
                integer("FAILED_SIGN_INS"), text("LAST_FAILED_SIGN_IN", 19), text("FAILED_SIGN_IN_FROM", 64)},
               {"MCH_NO"},
               {}});
  return t;
}

std::string join(const std::vector<std::string>& names) {
  std::string out;
  for (std::size_t i = 0; i < names.size(); ++i) out += (i ? "," : "") + names[i];
  return out;
}

}  // namespace
// clang-format on

const std::vector<TableDef>& service_tables() {
  static const std::vector<TableDef> tables = make_tables();
  return tables;
}

const TableDef& service_table(std::string_view name) {
  for (const auto& t : service_tables()) {
    if (t.name == name) return t;
  }
  throw std::out_of_range("no service table " + std::string(name));
}

std::vector<std::string> column_names(const TableDef& table) {
  std::vector<std::string> names;
  for (const auto& c : table.columns) names.push_back(c.name);
  return names;
}

std::vector<std::string> create_statements(const TableDef& table) {
  std::string sql = "CREATE TABLE IF NOT EXISTS " + table.name + " (";
  for (std::size_t i = 0; i < table.columns.size(); ++i) {
    const auto& c = table.columns[i];
    sql += (i ? ", " : "") + c.name + " " + c.type;
    if (!c.default_value.empty()) sql += " DEFAULT " + c.default_value;
    if (c.not_null) sql += " NOT NULL";
  }
  if (!table.primary_key.empty()) sql += ", PRIMARY KEY (" + join(table.primary_key) + ")";
  sql += ")";
  std::vector<std::string> out{sql};
  for (std::size_t i = 0; i < table.indexes.size(); ++i) {
    out.push_back("CREATE INDEX IF NOT EXISTS IDX_" + table.name + "_" + std::to_string(i) + " ON " + table.name +
                  " (" + join(table.indexes[i]) + ")");
  }
  return out;
}

void create_schema(Connection& c, bool reset) {
  Transaction tx(c);
  if (reset) {
    for (const auto& t : service_tables()) c.execute("DROP TABLE IF EXISTS " + t.name);
  }
  for (const auto& t : service_tables()) {
    for (const auto& sql : create_statements(t)) c.execute(sql);
  }
  // The status records of an older service gain the columns it did not have.
  const TableDef& status = service_table("TERMINAL_STATUS");
  for (const ColumnDef& column : missing_columns(c, status))
    c.execute("ALTER TABLE " + status.name + " ADD COLUMN " + column.name + " " + column.type);
  tx.commit();
}

bool schema_present(Connection& c) {
  for (const auto& t : service_tables()) {
    try {
      c.execute("SELECT 1 FROM " + t.name + " WHERE 1 = 0");
    } catch (const DatabaseError&) {
      return false;
    }
  }
  return missing_columns(c, service_table("TERMINAL_STATUS")).empty();
}

std::vector<ColumnDef> missing_columns(Connection& c, const TableDef& table) {
  RowCollector none;
  c.execute("SELECT * FROM " + table.name + " WHERE 1 = 0", &none);
  std::vector<ColumnDef> missing;
  for (const ColumnDef& column : table.columns) {
    const bool present = std::any_of(none.columns().begin(), none.columns().end(),
                                     [&](const ColumnInfo& i) { return ascii_upper(i.name) == column.name; });
    if (!present) missing.push_back(column);
  }
  return missing;
}

}  // namespace pos::headoffice

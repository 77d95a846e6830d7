#include "tests/e2e/expected_state.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>

#include "headoffice/storage/database_url.h"
#include "text/big5.h"

namespace pos::e2e {

namespace {

using HoRow = std::vector<Value>;

// The value's text as the terminal receives it: Big5, numbers in their shortest form.
std::string text(const Value& v) {
  if (v.is_null()) return "";
  if (v.is_float()) return format_float(v.number());
  if (v.is_integer()) return std::to_string(v.integer());
  return utf8_to_big5_lossy(v.text());
}
std::optional<double> number(const Value& v) {
  if (v.is_float()) return v.number();
  if (v.is_integer()) return static_cast<double>(v.integer());
  if (v.is_text() && !v.text().empty()) {
    char* end = nullptr;
    const double d = std::strtod(v.text().c_str(), &end);
    if (end && *end == '\0') return d;
  }
  return std::nullopt;
}
std::string num(double d) { return format_float(d == 0 ? 0.0 : d); }
// The value copied with its own type: null stays null.
std::string copy(const Value& v) { return v.is_null() ? "" : v.is_text() ? text(v) : num(*number(v)); }
// The text read as a number, `dflt` when it is none.
std::string number_parse(const Value& v, double dflt) { return num(number(v).value_or(dflt)); }
// The text read as a whole number (no fraction), `dflt` when it is none.
std::string integer_parse(const Value& v, long dflt) {
  const auto d = number(v);
  return std::to_string(d && *d == std::floor(*d) && std::abs(*d) < 2e9 ? static_cast<long>(*d) : dflt);
}
std::string whole(const Value& v) { return num(std::round(number(v).value_or(0))); }
std::string two_decimals(const Value& v) { return num(std::round(number(v).value_or(0) * 100) / 100); }
std::string first_character(const std::string& big5) {
  if (big5.empty()) return big5;
  return big5.substr(0, (static_cast<unsigned char>(big5[0]) >= 0x81 && big5.size() > 1) ? 2 : 1);
}
std::string quoted(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("''") : std::string(1, c);
  return out + "'";
}

Table make(std::vector<std::string> columns, const std::vector<HoRow>& rows,
           const std::function<Row(const HoRow&)>& map, std::size_t key_column = 0) {
  Table t{std::move(columns), {}};
  for (const auto& r : rows) {
    Row row = map(r);
    t.rows.emplace(row.at(key_column), std::move(row));
  }
  return t;
}
Row texts(const HoRow& r) {
  Row out;
  for (const auto& v : r) out.push_back(text(v));
  return out;
}
void erase_if(Table& t, const std::function<bool(const Row&)>& gone) {
  for (auto it = t.rows.begin(); it != t.rows.end();) it = gone(it->second) ? t.rows.erase(it) : std::next(it);
}

// Products ---------------------------------------------------------------------------------------

const char* kProductColumns =
    "PROD_ID, PROD_NAME, PROD_BARCODE, SALE_PRICE, PSALE_PRICE, STD_COST, VIP_PRICE, CR_PRICE, P_PRICE, N_PRICE, "
    "PD_ITEMID, SAL_TAG, FREE_TAX, DEF_PROFIT, POINT_YN";
const std::vector<std::string> kLocalProduct = {
    "PDC_NO",   "PROD_ID", "PDC_NAME", "BAR_CODE", "GEN_PRICE", "STD_PRICE", "STK_PRICE",  "VIP_PRICE",
    "CR_PRICE", "P_PRICE", "N_PRICE",  "PDC_TYPE", "STOP_CODE", "FREE_TAX",  "DEF_PROFIT", "POINT_YN"};

Row product(const HoRow& r, bool full) {
  auto or_sale = [&](const Value& v) { return number_parse(v.is_null() ? r[4] : v, 0); };
  return {text(r[0]),
          text(r[0]),
          text(r[1]),
          text(r[2]),
          whole(r[3]),
          whole(r[4]),
          two_decimals(r[5]),
          or_sale(r[6]),
          or_sale(r[7]),
          full ? or_sale(r[8]) : "",
          full ? or_sale(r[9]) : "",
          text(r[10]),
          text(r[11]),
          number_parse(r[12], 0),
          number_parse(r[13], 0),
          text(r[14])};
}

// Writes a product as the job does: every row with its bar code or number goes first.
void replace_product(Table& t, Row row) {
  const std::string& bar_code = row[3];
  const bool matches_bar_code = bar_code.find_first_not_of(' ') != std::string::npos && bar_code.size() <= 20;
  erase_if(t, [&](const Row& r) { return r[0] == row[0] || (matches_bar_code && r[3] == bar_code); });
  t.rows.emplace(row[1], std::move(row));
}

std::string product_filter(HeadOffice& ho, const std::string& machine) {
  const auto top = ho.rows("SELECT TOP_ITEMID FROM MCH_ITEM WHERE MCH_NO = " + quoted(machine));
  if (top.empty() || text(top[0][0]).empty()) return "";
  return " PD_ITEMID IN (SELECT A.PD_ITEMID FROM PROD_ITEM A INNER JOIN PROD_HIITEM B ON A.PD_GRPID = B.PD_GRPID "
         "LEFT OUTER JOIN PROD_TOPITEM C ON C.TOP_ITEMID = B.TOP_ITEMID WHERE C.TOP_ITEMID = " +
         quoted(top[0][0].text()) + ")";
}

// Members ----------------------------------------------------------------------------------------

const char* kMemberQuery =
    "SELECT A.MEMBER_ID, A.MEMBER_NAME, A.MEMBER_CLASSID, A.DISCOUNT, B.IDIS, A.NOTE, A.LEAVE_DATE, A.TAX_CODE "
    "FROM MEMBER A LEFT OUTER JOIN MEMBER_CLASS B ON A.MEMBER_CLASSID = B.CLASS_ID";
const std::vector<std::string> kLocalMember = {"MEMBER_ID", "MEMBER_NAME", "MEMBER_CLASSID", "CLASS_ID",
                                               "DISCOUNT",  "IDIS",        "TOTAL_AMT",      "N_POINT",
                                               "U_DATE",    "NOTE",        "LEAVE_DATE",     "TAX_CODE"};

Row member(const HoRow& r, bool full, const std::string& today) {
  return {text(r[0]),
          text(r[1]),
          text(r[2]),
          text(r[2]),
          full ? integer_parse(r[3], 0) : copy(r[3]),
          full ? number_parse(r[4], 0) : integer_parse(r[4], 0),
          "0",
          "0",
          today,
          text(r[5]),
          copy(r[6]),
          copy(r[7])};
}

const char* kSubCardColumns =
    "MEMBER_ID, SUBCARD_ID, MAINCARD_ID, SUBCARD_MAN, REMARK, CR_DATE, CHG_DATE, DEL_FLAG, SAL_TAG";
std::string sub_card_key(const Row& r) { return r[0] + "|" + r[1]; }

// Promotions -------------------------------------------------------------------------------------

struct PromotionKind {
  const char* table;  // local
  const char* log;
  std::string query;  // lines of one promotion or of the day, before the selecting condition
  std::string filter;
  std::vector<std::string> columns;
  std::function<Row(const HoRow&, bool full)> map;
};

std::vector<PromotionKind> promotion_kinds() {
  return {
      {"PROMOTION",
       "PSALE_TEMP",
       "SELECT A.MASTERBILLID, B.TEMPPRODID, B.PROD_ID, B.PSALE_PRICE, B.OLD_PRICE, B.VIP_PRICE, B.N_QTY, B.PACK_QTY, "
       "B.G_QTY, A.OVER_AMT, B.PLIMIT_QTY, A.END_DATE FROM PSALE_MASTER A INNER JOIN PSALE_SUB B ON A.MASTERBILLID = "
       "B.MASTERBILLID WHERE ",
       " AND A.BILL_TYPE <> '2' AND B.STOP_SALE = 'N'",
       {"MASTERBILLID", "TEMPPRODID", "PROD_ID", "PSALE_PRICE", "OLD_PRICE", "VIP_PRICE", "N_QTY", "G_QTY", "OVER_AMT",
        "PACK_QTY", "PLIMIT_QTY", "END_DATE"},
       [](const HoRow& r, bool full) {
         return Row{text(r[0]),
                    text(r[1]),
                    text(r[2]),
                    copy(r[3]),
                    copy(r[4]),
                    copy(full && r[5].is_null() ? r[3] : r[5]),
                    r[6].is_null() ? "1" : copy(r[7]),
                    r[8].is_null() ? "0" : copy(r[8]),
                    integer_parse(r[9], 0),
                    integer_parse(r[7], 1),
                    integer_parse(r[10], 0),
                    text(r[11])};
       }},
      {"PTSALE",
       "PTSALE_TEMP",
       "SELECT A.MASTERBILLID, B.TEMPPRODID, B.PROD_ID, A.PTSALE_QTY, A.PTSALE_PRICE, A.PTSALE_DIS, A.INI_DATE, "
       "A.END_DATE FROM PTSALE_MASTER A INNER JOIN PTSALE_SUB B ON A.MASTERBILLID = B.MASTERBILLID WHERE ",
       "",
       {"MASTERBILLID", "TEMPPRODID", "PROD_ID", "PTSALE_QTY", "PTSALE_PRICE", "PTSALE_DIS", "INI_DATE", "END_DATE"},
       [](const HoRow& r, bool) {
         return Row{text(r[0]), text(r[1]), text(r[2]), copy(r[3]), copy(r[4]), copy(r[5]), text(r[6]), text(r[7])};
       }},
      {"GPROMOTION",
       "GSALE_TEMP",
       "SELECT A.MASTERBILLID, B.TEMPPRODID, B.PROD_ID, B.PSALE_PRICE, B.VIP_PRICE, B.N_QTY, B.G_QTY, A.OVER_AMT FROM "
       "GSALE_MASTER A INNER JOIN GSALE_SUB B ON A.MASTERBILLID = B.MASTERBILLID WHERE ",
       " AND A.BILL_TYPE <> '2'",
       {"MASTERBILLID", "TEMPPRODID", "PROD_ID", "PSALE_PRICE", "VIP_PRICE", "N_QTY", "G_QTY", "OVER_AMT"},
       [](const HoRow& r, bool full) {
         return Row{text(r[0]),
                    text(r[1]),
                    text(r[2]),
                    copy(r[3]),
                    copy(full && r[4].is_null() ? r[3] : r[4]),
                    r[5].is_null() ? "0" : copy(r[5]),
                    r[6].is_null() ? "0" : copy(r[6]),
                    integer_parse(r[7], 0)};
       }},
  };
}

// The tables every run fills from head office whatever it held.
void reference_tables(HeadOffice& ho, const std::string& machine, const std::string& today, State& s) {
  s["LOC_TYPE"] = make({"TYPE_NO", "TYPE_NAME", "MID_ITEMID", "TOP_ITEMID", "M_SHOW", "PD_DEPNAME"},
                       ho.rows("SELECT A.PD_ITEMID, A.PD_ITEMNAME, B.PD_GRPID, C.TOP_ITEMID, A.M_SHOW, D.PD_DEPNAME "
                               "FROM PROD_ITEM A LEFT OUTER JOIN PROD_HIITEM B ON A.PD_GRPID = B.PD_GRPID LEFT OUTER "
                               "JOIN PROD_TOPITEM C ON C.TOP_ITEMID = B.TOP_ITEMID LEFT OUTER JOIN PROD_DEPART D ON "
                               "D.PD_DEPID = C.PD_DEPID"),
                       [](const HoRow& r) {
                         Row row = texts(r);
                         row[4] = first_character(row[4]);
                         return row;
                       });
  s["LOC_PERS"] = make({"LAB_NO", "CNAME", "PASSW", "CHK_CODE"},
                       ho.rows("SELECT EMPLOYEE_ID, EMPLOYEE_NAME, PASS_WD, CHK_CODE FROM EMPLOYEE"), texts);
  s["LOC_WRK"] =
      make({"WRK_NO", "WRK_NAME", "WRK_ALOW", "\"START\"", "OVE_", "WORK_TIME"},
           ho.rows("SELECT WRK_NO, WRK_NAME, WRK_ALOW, START_TIME, END_TIME, WORK_TIME FROM WRK_ITEM"), texts);
  s["LOC_WORD"] = make({"YY", "MM", "INV_WORD"}, ho.rows("SELECT YY, MM, INV_WORD FROM INV_WORD"), texts);
  s["EINVOICE_WORD"] = make(
      {"MCH_NO", "EYY", "EMM", "EWORD", "BG_NUM", "ED_NUM"},
      ho.rows("SELECT MCH_NO, EYY, EMM, EWORD, BG_NUM, ED_NUM FROM EINVOICE_WORD WHERE MCH_NO = " + quoted(machine)),
      texts, 1);
  s["MEMLEVEL_PDCLASS_DIS"] =
      make({"MEM_CLASSID", "PD_CLASSID", "PD_CLASSNAME", "DISCOUNT", "REMARK"},
           ho.rows("SELECT MEM_CLASSID, PD_CLASSID, PD_CLASSNAME, DISCOUNT, REMARK FROM MEMLEVEL_PDCLASS_DIS"),
           [](const HoRow& r) {
             return Row{text(r[0]), text(r[1]), text(r[2]), number_parse(r[3], 100), text(r[4])};
           });
  s["MCH_ITEM"] =
      make({"MCH_NO", "MCH_IP", "MCH_NAME"}, ho.rows("SELECT MCH_NO, MCH_IP, MCH_NAME FROM MCH_ITEM"), texts);
  s["LOC_KEY_MAP"] = make({"ID_NO", "PDC_NO", "PDC_NAME", "MEMO"},
                          ho.rows("SELECT ID_NO, PDC_NO, PDC_NAME, MEMO FROM LOC_KEY_MAP"), texts);
  s["LOC_KEY_MAP_SUB"] = make({"ID_NO", "PDC_NO", "PDC_NAME", "MEMO"},
                              ho.rows("SELECT ID_NO, PDC_NO, PDC_NAME, MEMO FROM LOC_KEY_MAP_SUB"), texts);
  s["MEMDIS_LEVEL"] =
      make({"CLASS_ID", "LEVEL_ID", "LO_AMT", "HI_AMT", "I_DISCOUNT"},
           ho.rows("SELECT CLASS_ID, LEVEL_ID, LO_AMT, HI_AMT, I_DISCOUNT FROM MEMDIS_LEVEL"), [](const HoRow& r) {
             return Row{text(r[0]), copy(r[1]), copy(r[2]), copy(r[3]), copy(r[4])};
           });
  s["POINT_SET"] =
      make({"INI_DATE", "SAL_AMT", "CHG_POINT", "CHG_DATE", "CHG_USER"},
           ho.rows("SELECT INI_DATE, SAL_AMT, CHG_POINT, CHG_DATE, CHG_USER FROM POINT_SET WHERE INI_DATE >= " +
                   quoted(today)),
           [](const HoRow& r) {
             return Row{text(r[0]), copy(r[1]), copy(r[2]), text(r[3]), text(r[4])};
           });
  const auto cards = ho.rows("SELECT MEMBER_ID, PIN_CODE, CR_DATE, CHG_DATE FROM SMARTCARD_DATA WHERE STOP_YN = 'Y'");
  if (!cards.empty()) s["SMARTCARD_DATA"] = make({"MEMBER_ID", "PIN_CODE", "CR_DATE", "CHG_DATE"}, cards, texts);
}

Table& table(State& s, const std::string& name, const std::vector<std::string>& columns) {
  Table& t = s[name];
  if (t.columns.empty()) t.columns = columns;
  return t;
}

}  // namespace

std::vector<Row> Table::sorted() const {
  std::vector<Row> out;
  for (const auto& [key, row] : rows) out.push_back(row);
  std::sort(out.begin(), out.end());
  return out;
}

HeadOffice::HeadOffice(const std::string& db_url) : db_(headoffice::open_database(db_url)), c_(db_->connect()) {}

std::vector<std::vector<Value>> HeadOffice::rows(const std::string& sql) {
  headoffice::RowCollector rows;
  c_->execute(sql, &rows);
  return rows.rows();
}

std::map<std::string, std::vector<Entry>> entries_of(HeadOffice& ho, const std::string& machine) {
  std::map<std::string, std::vector<Entry>> out;
  const std::pair<const char*, const char*> logs[] = {{"PRODUCT_TEMP", "PROD_ID"},
                                                      {"MEMBER_TEMP", "MEMBER_ID"},
                                                      {"PSALE_TEMP", "MASTERBILLID"},
                                                      {"PTSALE_TEMP", "MASTERBILLID"},
                                                      {"GSALE_TEMP", "MASTERBILLID"}};
  for (const auto& [log, key] : logs) {
    auto& list = out[log];
    for (const auto& r :
         ho.rows(std::string("SELECT ") + key + ", STATE FROM " + log + " WHERE MCH_NO = " + quoted(machine)))
      list.push_back({r[0].as_text(), r[1].as_text()});
  }
  return out;
}

State after_full_update(HeadOffice& ho, const std::string& machine, const std::string& today, State s) {
  reference_tables(ho, machine, today, s);

  Table& products = table(s, "LOC_PDC", kLocalProduct);
  const std::string filter = product_filter(ho, machine);
  for (const auto& r :
       ho.rows(std::string("SELECT ") + kProductColumns + " FROM PRODUCT" + (filter.empty() ? "" : " WHERE" + filter)))
    replace_product(products, product(r, true));
  table(s, "PROD_SALE", {"PROD_ID", "SAL_BARCODE", "SAL_NAME", "PACK_QTY", "SAL_UNITNAME", "SAL_PRICE", "VIP_PRICE"});

  Table& members = table(s, "MEMBER", kLocalMember);
  members.rows.clear();
  for (const auto& r : ho.rows(kMemberQuery)) members.rows.emplace(text(r[0]), member(r, true, today));
  Table& cards = table(s, "VIPCARD_SUB",
                       {"MEMBER_ID", "SUBCARD_ID", "MAINCARD_ID", "SUBCARD_MAN", "REMARK", "CR_DATE", "CHG_DATE",
                        "DEL_FLAG", "SAL_TAG"});
  for (const auto& r : ho.rows(std::string("SELECT ") + kSubCardColumns +
                               " FROM VIPCARD_SUB WHERE MEMBER_ID IN (SELECT MEMBER_ID FROM MEMBER)")) {
    Row row = texts(r);
    cards.rows.erase(sub_card_key(row));
    cards.rows.emplace(sub_card_key(row), std::move(row));
  }

  for (const auto& kind : promotion_kinds()) {
    Table& lines = table(s, kind.table, kind.columns);
    const auto current = ho.rows(kind.query + quoted(today) + " BETWEEN A.INI_DATE AND A.END_DATE" + kind.filter);
    if (std::string(kind.table) == "PTSALE") {
      if (current.empty()) continue;  // nothing current: the table stays
      lines.rows.clear();
    } else if (std::string(kind.table) == "PROMOTION") {  // lines that have ended go first
      const std::size_t end = kind.columns.size() - 1;
      erase_if(lines, [&](const Row& r) { return !r[end].empty() && r[end] < today; });
    }
    for (const auto& r : current) {
      Row row = kind.map(r, true);
      erase_if(lines, [&](const Row& old) { return old[0] == row[0] && old[1] == row[1]; });
      lines.rows.emplace(row[0], std::move(row));
    }
  }
  return s;
}

State after_changes_update(HeadOffice& ho, const std::string& machine, const std::string& today, State s,
                           const std::map<std::string, std::vector<Entry>>& taken) {
  reference_tables(ho, machine, today, s);
  auto deleted_first = [](std::vector<Entry> list) {
    std::stable_partition(list.begin(), list.end(), [](const Entry& e) { return e.state == "DELETE"; });
    return list;
  };

  Table& products = s["LOC_PDC"];
  const std::string filter = product_filter(ho, machine);
  for (const Entry& e : deleted_first(taken.at("PRODUCT_TEMP"))) {
    const std::string id = utf8_to_big5_lossy(e.key);
    if (e.state == "DELETE") {
      erase_if(products, [&](const Row& r) { return r[1] == id; });
      continue;
    }
    for (const auto& r : ho.rows(std::string("SELECT ") + kProductColumns + " FROM PRODUCT WHERE PROD_ID = " +
                                 quoted(e.key) + (filter.empty() ? "" : " AND" + filter)))
      replace_product(products, product(r, false));
  }
  Table& bundles = s["PROD_SALE"];
  bundles.rows.clear();
  for (const auto& r : ho.rows("SELECT PROD_ID, SAL_BARCODE, SAL_NAME, PACK_QTY, SAL_UNITNAME, SAL_PRICE, VIP_PRICE "
                               "FROM PROD_SALE")) {
    Row row{text(r[0]), text(r[1]), text(r[2]), copy(r[3]), text(r[4]), copy(r[5]), copy(r[6])};
    erase_if(products, [&](const Row& p) { return p[1] == row[1] || p[3] == row[1]; });
    bundles.rows.emplace(row[1], std::move(row));
  }

  Table& members = s["MEMBER"];
  Table& cards = s["VIPCARD_SUB"];
  for (const Entry& e : deleted_first(taken.at("MEMBER_TEMP"))) {
    const std::string id = utf8_to_big5_lossy(e.key);
    if (e.state == "DELETE") {
      members.rows.erase(id);  // its sub-cards stay
      continue;
    }
    const auto found = ho.rows(std::string(kMemberQuery) + " WHERE A.MEMBER_ID = " + quoted(e.key));
    if (found.empty()) continue;
    members.rows.erase(id);
    members.rows.emplace(id, member(found[0], false, today));
    const auto service_cards =
        ho.rows(std::string("SELECT ") + kSubCardColumns + " FROM VIPCARD_SUB WHERE MEMBER_ID = " + quoted(e.key));
    if (service_cards.empty()) erase_if(cards, [&](const Row& r) { return r[0] == id; });
    for (const auto& r : service_cards) {
      Row row = texts(r);
      cards.rows.erase(sub_card_key(row));
      cards.rows.emplace(sub_card_key(row), std::move(row));
    }
  }

  for (const auto& kind : promotion_kinds()) {
    Table& lines = s[kind.table];
    for (const Entry& e : deleted_first(taken.at(kind.log))) {
      const std::string id = utf8_to_big5_lossy(e.key);
      if (e.state == "DELETE") {
        lines.rows.erase(id);
        continue;
      }
      const auto fetched = ho.rows(kind.query + "A.MASTERBILLID = " + quoted(e.key) + kind.filter);
      if (fetched.empty()) continue;  // its old lines stay
      lines.rows.erase(id);
      for (const auto& r : fetched) lines.rows.emplace(id, kind.map(r, false));
    }
  }
  return s;
}

std::vector<Row> local_rows(LocalConnection& con, const std::string& table, const Table& shape) {
  std::string list;
  for (const auto& c : shape.columns) list += (list.empty() ? "" : ", ") + c;
  std::vector<Row> out;
  for (const auto& r : con.query("SELECT " + list + " FROM " + table)) {
    Row row;
    for (const auto& v : r) row.push_back(v.is_float() ? num(v.number()) : v.as_text());
    out.push_back(std::move(row));
  }
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace pos::e2e

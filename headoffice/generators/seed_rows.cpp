#include "headoffice/generators/seed_rows.h"

#include <cmath>
#include <cstdio>
#include <map>
#include <mutex>
#include <stdexcept>

#include "headoffice/generators/calendar.h"
#include "headoffice/generators/seed_catalog.h"

namespace pos::headoffice {
namespace {

std::string padded(const char* prefix, long long number, int digits) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%s%0*lld", prefix, digits, number);
  return buf;
}

double round2(double v) { return std::round(v * 100.0) / 100.0; }

// Shelf prices end in 0, 5 or 9, now and then with a half.
double shelf_price(Rng& rng, int lo, int hi) {
  int p = rng.between(lo, hi);
  static const int endings[] = {0, 5, 9, 9};
  p = p / 10 * 10 + endings[rng.below(4)];
  if (p < 5) p = 9;
  return rng.percent(5) ? p + 0.5 : p;
}

std::pair<int, int> price_band(const std::string& top) {
  static const std::map<std::string, std::pair<int, int>> bands = {
      {"01", {20, 120}}, {"02", {15, 200}}, {"03", {60, 600}}, {"04", {15, 80}},  {"05", {20, 150}},
      {"06", {35, 900}}, {"07", {39, 399}}, {"08", {29, 399}}, {"09", {25, 300}}, {"10", {89, 499}}};
  return bands.at(top);
}

std::string date_from(const SeedContext& ctx, int days) { return add_days(ctx.today, days); }

std::string phone(Rng& rng) { return "02-2" + padded("", rng.between(0, 9999999), 7); }
std::string mobile(Rng& rng) { return "09" + padded("", rng.between(0, 99999999), 8); }

// Taiwanese national id form: a letter, 1 or 2, eight digits.
std::string id_number(Rng& rng) {
  std::string s(1, static_cast<char>('A' + rng.below(26)));
  s += static_cast<char>('1' + rng.below(2));
  return s + padded("", rng.between(0, 99999999), 8);
}

std::string address(Rng& rng) {
  const Catalog& c = catalog();
  static const std::vector<std::string> sections = {"", "一段", "二段", "三段"};
  std::string a = rng.pick(c.cities) + rng.pick(c.roads) + rng.pick(sections);
  a += std::to_string(rng.between(1, 300)) + "號";
  if (rng.percent(50)) a += std::to_string(rng.between(2, 15)) + "樓";
  return a;
}

const std::unordered_map<std::string, std::size_t>& column_index(const TableDef& table) {
  static std::mutex mutex;
  static std::map<const TableDef*, std::unordered_map<std::string, std::size_t>> cache;
  std::lock_guard lock(mutex);
  auto& index = cache[&table];
  if (index.empty()) {
    for (std::size_t i = 0; i < table.columns.size(); ++i) index.emplace(table.columns[i].name, i);
  }
  return index;
}

// Promotion dates for a bill's phase.
enum class Phase { Current, StartsToday, EndsToday, Past, Future };

void set_period(const SeedContext& ctx, Rng& rng, Row& master, Phase phase) {
  int ini = 0, end = 0;
  switch (phase) {
    case Phase::Current:
      ini = -rng.between(1, 10);
      end = rng.between(1, 30);
      break;
    case Phase::StartsToday:
      ini = 0;
      end = rng.between(1, 30);
      break;
    case Phase::EndsToday:
      ini = -rng.between(1, 20);
      end = 0;
      break;
    case Phase::Past:
      ini = -rng.between(30, 60);
      end = -rng.between(1, 20);
      break;
    case Phase::Future:
      ini = rng.between(1, 20);
      end = ini + rng.between(7, 30);
      break;
  }
  master["INI_DATE"] = date_from(ctx, ini);
  master["END_DATE"] = date_from(ctx, end);
  master["BILL_DATE"] = date_from(ctx, ini - rng.between(1, 7));
}

}  // namespace

std::uint64_t Rng::next() {
  std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}
int Rng::below(int n) { return n <= 1 ? 0 : static_cast<int>(next() % static_cast<std::uint64_t>(n)); }
int Rng::between(int lo, int hi) { return lo + below(hi - lo + 1); }
bool Rng::percent(int p) { return below(100) < p; }
double Rng::fraction() { return static_cast<double>(next() >> 11) / 9007199254740992.0; }

Rng row_rng(std::uint64_t seed, std::string_view table, std::int64_t number) {
  std::uint64_t h = 1469598103934665603ull;  // FNV-1a over the table name
  for (char c : table) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  Rng mix(seed ^ h ^ (static_cast<std::uint64_t>(number) * 0x9E3779B97F4A7C15ull));
  return Rng(mix.next());
}

Row::Row(const TableDef& table) : table_(&table), index_(&column_index(table)), values_(table.columns.size()) {}

Value& Row::operator[](std::string_view column) {
  auto it = index_->find(std::string(column));
  if (it == index_->end()) throw std::out_of_range(table_->name + " has no column " + std::string(column));
  return values_[it->second];
}

const Value& Row::at(std::string_view column) const { return const_cast<Row*>(this)->operator[](column); }

std::string product_id(int number) { return std::to_string(10000000 + number); }
std::string member_id(int number) { return padded("M", number, 7); }
std::string employee_id(int number) { return padded("E", number, 4); }
std::string sales_promotion_id(int number) { return padded("PS", number, 6); }
std::string any_choice_id(int number) { return padded("PT", number, 6); }
std::string gift_promotion_id(int number) { return padded("GS", number, 6); }

std::string ean13(std::string_view d) {
  int sum = 0;
  for (std::size_t i = 0; i < d.size(); ++i) sum += (d[i] - '0') * (i % 2 ? 3 : 1);
  return std::string(d) + static_cast<char>('0' + (10 - sum % 10) % 10);
}

std::string person_name(std::uint64_t seed, std::string_view table, int number) {
  Rng rng = row_rng(seed, std::string(table) + ".name", number);
  const Catalog& c = catalog();
  return rng.pick(c.surnames) + rng.pick(c.given_names);
}

Row make_product(const SeedContext& ctx, int number) {
  const Catalog& c = catalog();
  Rng rng = row_rng(ctx.seed, "PRODUCT", number);
  const SmallCategory& small = c.smalls[static_cast<std::size_t>(rng.below(static_cast<int>(c.smalls.size())))];
  const TopCategory& top = c.top(small.top);
  const Group& group = c.group(small.group);
  Row r(service_table("PRODUCT"));
  const std::string brand = rng.pick(group.brands);
  const std::string size = rng.pick(group.sizes);
  const std::string unit = rng.pick(group.units);
  const auto [lo, hi] = price_band(top.id);
  const double price = shelf_price(rng, lo, hi);
  const double sale_price = rng.percent(70) ? price : std::round(price * 0.9);
  const double cost = round2(price * (0.55 + 0.2 * rng.fraction()));

  r["PROD_ID"] = product_id(number);
  r["PROD_NAME"] = brand + rng.pick(c.variants) + small.name + " " + size;
  r["PROD_ID2"] = rng.percent(20) ? Value(padded("A", number, 7)) : Value();
  r["PROD_SNAME"] = brand + small.name;
  if (top.department == "D4") {
    // Weighed fresh goods carry in-store codes, some none at all.
    r["PROD_BARCODE"] = rng.percent(30) ? Value() : Value(ean13(padded("20", number, 10)));
  } else {
    r["PROD_BARCODE"] = ean13(padded("471", number, 9));
  }
  r["UNITNAME"] = unit;
  r["SALE_PRICE"] = price;
  r["PSALE_PRICE"] = sale_price;
  r["STD_COST"] = cost;
  r["AVG_COST"] = round2(cost * (0.97 + 0.06 * rng.fraction()));
  if (!top.product_class.empty()) {
    r["PD_CLASSID"] = top.product_class;
  } else {
    static const std::vector<std::string> classes = {"C1", "C1", "C1", "C1", "C1", "C4", "C5", "C6"};
    r["PD_CLASSID"] = rng.pick(classes);
  }
  r["SAL_TAG"] = rng.percent(3) ? "1" : "0";
  r["PD_ITEMID"] = small.id;
  r["VIP_PRICE"] = rng.percent(30) ? Value() : Value(std::round(sale_price * 0.95));
  r["CR_PRICE"] = rng.percent(50) ? Value() : Value(sale_price);
  const bool tax_free = rng.percent(5);
  r["TAX_KIND"] = tax_free ? "3" : "1";
  r["P_PU"] = "1";
  r["P_PU2"] = rng.percent(80) ? Value() : Value(std::to_string(rng.pick(std::vector<int>{6, 12, 24})));
  r["MEM_DISCOUNT"] = rng.percent(80) ? "Y" : "N";
  r["P_PRICE"] = rng.percent(40) ? Value() : Value(std::round(sale_price * 0.97));
  r["P_PRICE2"] = rng.percent(40) ? Value() : Value(std::round(sale_price * 0.93));
  r["N_PRICE"] = rng.percent(40) ? Value() : Value(std::round(sale_price * 0.9));
  r["FREE_TAX"] = tax_free ? 1.0 : 0.0;
  r["HEA_TAX"] = 0.0;
  r["POINT_YN"] = rng.percent(85) ? "Y" : "N";
  r["PROD_SCALE"] = size + "/" + unit;
  r["STOCK_QTY"] = std::to_string(rng.between(0, 500));
  r["DEF_PROFIT"] = round2((price - cost) / price);
  r["MS"] = rng.percent(90) ? "N" : "Y";
  r["PUT_ID"] = padded("V", rng.between(1, 200), 4);
  r["CHG_DATE"] = date_from(ctx, -rng.between(0, 365));
  r["CHG_USER"] = employee_id(rng.between(1, ctx.employees));
  return r;
}

ProductRef product_ref(const Row& p) {
  return {p.at("PROD_ID").as_text(), p.at("PROD_NAME").as_text(), p.at("PROD_BARCODE").as_text(),
          p.at("PD_ITEMID").as_text(), p.at("SALE_PRICE").number()};
}

std::vector<Row> make_bundles(const SeedContext& ctx, int number, const Row& product) {
  if (number % 50 != 7) return {};
  Rng rng = row_rng(ctx.seed, "PROD_SALE", number);
  const int pack = rng.pick(std::vector<int>{6, 12, 24});
  const double price = std::round(product.at("SALE_PRICE").number() * pack * 0.92);
  Row r(service_table("PROD_SALE"));
  r["PROD_ID"] = product.at("PROD_ID");
  r["SAL_BARCODE"] = ean13(padded("472", number, 9));
  r["SAL_NAME"] = product.at("PROD_SNAME").as_text() + "(" + std::to_string(pack) + "入)";
  r["PACK_QTY"] = pack;
  r["SAL_UNITNAME"] = rng.pick(std::vector<std::string>{"箱", "組", "打"});
  r["SAL_PRICE"] = price;
  r["VIP_PRICE"] = rng.percent(50) ? Value() : Value(std::round(price * 0.95));
  return {r};
}

Row make_employee(const SeedContext& ctx, int number) {
  Rng rng = row_rng(ctx.seed, "EMPLOYEE", number);
  Row r(service_table("EMPLOYEE"));
  r["EMPLOYEE_ID"] = employee_id(number);
  r["EMPLOYEE_NAME"] = person_name(ctx.seed, "EMPLOYEE", number);
  r["PASS_WD"] = padded("", rng.between(0, 999999), 6);
  r["CHK_CODE"] = padded("", rng.between(0, 9999), 4);
  return r;
}

Row make_member(const SeedContext& ctx, int number) {
  const Catalog& c = catalog();
  Rng rng = row_rng(ctx.seed, "MEMBER", number);
  Row r(service_table("MEMBER"));
  const int joined = -rng.between(0, 3000);
  const int service = rng.between(1, ctx.employees);
  static const std::vector<std::string> classes = {"01", "01", "01", "01", "02", "02", "03", "04", "05", "06"};
  r["MEMBER_ID"] = member_id(number);
  r["MEMBER_NAME"] = person_name(ctx.seed, "MEMBER", number);
  r["MEMBER_PHONE"] = phone(rng);
  r["MEMBER_ADD"] = address(rng);
  r["MEMBER_BIRTHDAY"] = format_date(Date{rng.between(1950, 2005), rng.between(1, 12), rng.between(1, 28)});
  r["SERVICE_ID"] = employee_id(service);
  r["SERVICE_NAME"] = person_name(ctx.seed, "EMPLOYEE", service);
  r["JOB_TITLE"] = rng.pick(c.job_titles);
  r["TOTAL_AMT"] = static_cast<double>(rng.between(0, 200000));
  r["CARD_ID"] = padded("8866", number, 8);
  r["INI_DATE"] = date_from(ctx, joined);
  r["END_DATE"] = date_from(ctx, joined + 365 * rng.between(2, 10));
  r["E_MAIL"] = padded("m", number, 7) + "@example.com.tw";
  r["DISABLE_FLAG"] = rng.percent(3) ? "Y" : "N";
  r["MAIL_NUM"] = std::to_string(rng.between(100, 999));
  r["MOBILE_PHONE"] = mobile(rng);
  r["NOTE"] = rng.percent(85) ? Value() : Value(rng.pick(std::vector<std::string>{"常客", "需開統編", "偏好電子發票"}));
  r["LEAVE_DATE"] = rng.percent(95) ? Value() : Value(date_from(ctx, -rng.between(0, 300)));
  r["S_NO"] = "S01";
  r["STOCK_NUM"] = "S01";
  r["CHG_DATE"] = date_from(ctx, -rng.between(0, 365));
  r["CHG_USER"] = employee_id(rng.between(1, ctx.employees));
  // About one member in a hundred names a class the head office no longer has.
  r["MEMBER_CLASSID"] = rng.percent(1) ? std::string("99") : rng.pick(classes);
  r["DISCOUNT"] = rng.percent(90) ? 0.0 : rng.pick(std::vector<double>{5, 8.5, 10});
  r["ID_NO"] = id_number(rng);
  r["TAX_CODE"] = rng.percent(90) ? Value() : Value(padded("", rng.between(10000000, 99999999), 8));
  r["MAN_SALE"] = "N";
  r["CHG_TIME"] = padded("", rng.between(8, 21), 2) + ":" + padded("", rng.between(0, 59), 2) + ":00";
  r["SEX"] = rng.percent(50) ? "M" : "F";
  r["INVOICE_CLASS"] = rng.percent(90) ? "2" : "3";
  r["UPPER_AMT"] = 0.0;
  r["SHET_YN"] = "N";
  r["MEMBER_PHONE2"] = rng.percent(80) ? Value() : Value(mobile(rng));
  r["PASS_WD"] = padded("", rng.between(0, 9999), 4);
  r["SALES_ID"] = employee_id(service);
  r["MADD_CASH"] = 0.0;
  r["ADD_RATE"] = 1.0;
  r["CUST_ID"] = Value();
  r["PRICE_FLAG"] = rng.percent(80) ? "V" : "N";
  r["SELECT_YN"] = "N";
  r["USE_AMT"] = static_cast<double>(rng.between(0, 5000));
  r["TOTAL_POINT"] = static_cast<double>(rng.between(0, 3000));
  r["USE_POINT"] = static_cast<double>(rng.between(0, 1000));
  r["U_DATE"] = date_from(ctx, -rng.between(0, 30));
  r["VIP_OK"] = "Y";
  r["AREA"] = rng.pick(c.areas);
  r["DM_YN"] = rng.percent(60) ? "Y" : "N";
  r["BEFORE_POINT"] = 0.0;
  return r;
}

std::vector<Row> make_subcards(const SeedContext& ctx, int number, const Row& member) {
  Rng rng = row_rng(ctx.seed, "VIPCARD_SUB", number);
  // The first member always has two sub-cards, so a fixed key finds some.
  if (number != 1 && !rng.percent(15)) return {};
  std::vector<Row> cards;
  const int n = number == 1 ? 2 : rng.between(1, 2);
  for (int i = 1; i <= n; ++i) {
    Row r(service_table("VIPCARD_SUB"));
    r["MEMBER_ID"] = member.at("MEMBER_ID");
    r["MAINCARD_ID"] = member.at("CARD_ID");
    r["SUBCARD_ID"] = member.at("CARD_ID").as_text() + "-" + std::to_string(i);
    r["SUBCARD_MAN"] = person_name(ctx.seed, "VIPCARD_SUB", number * 10 + i);
    r["REMARK"] = rng.pick(catalog().card_remarks);
    r["CR_DATE"] = member.at("INI_DATE");
    r["CHG_DATE"] = date_from(ctx, -rng.between(0, 200));
    r["DEL_FLAG"] = "N";
    r["SAL_TAG"] = "0";
    r["ADD_RATE"] = 1.0;
    r["STOP_DATE"] = Value();
    r["PD_DEPID"] = Value();
    r["ICPASS_YN"] = "N";
    r["ICPASS"] = Value();
    cards.push_back(std::move(r));
  }
  return cards;
}

std::vector<Row> make_smartcards(const SeedContext& ctx, int number, const Row& member) {
  Rng rng = row_rng(ctx.seed, "SMARTCARD_DATA", number);
  // The first member always holds a stopped card.
  if (number != 1 && !rng.percent(20)) return {};
  Row r(service_table("SMARTCARD_DATA"));
  const bool stopped = number == 1 || rng.percent(10);
  r["CARD_ID"] = padded("SC", number, 8);
  r["MEMBER_ID"] = member.at("MEMBER_ID");
  r["PIN_CODE"] = rng.percent(5) ? Value() : Value(padded("", rng.between(0, 999999), 6));
  r["CR_DATE"] = rng.percent(5) ? Value() : Value(date_from(ctx, -rng.between(30, 900)));
  r["CHG_DATE"] = date_from(ctx, -rng.between(0, 30));
  r["STOP_YN"] = stopped ? "Y" : "N";
  r["STOP_DATE"] = stopped ? Value(date_from(ctx, -rng.between(0, 30))) : Value();
  return {r};
}

Bill make_sales_promotion(const SeedContext& ctx, int number, std::span<const ProductRef> products) {
  Rng rng = row_rng(ctx.seed, "PSALE_MASTER", number);
  static const Phase phases[] = {Phase::Current, Phase::StartsToday, Phase::EndsToday, Phase::Current,
                                 Phase::Past,    Phase::Future,      Phase::Current,   Phase::Current};
  const int slot = (number - 1) % 8;
  Bill bill{Row(service_table("PSALE_MASTER")), {}};
  Row& m = bill.master;
  const std::string id = sales_promotion_id(number);
  m["MASTERBILLID"] = id;
  set_period(ctx, rng, m, phases[slot]);
  m["REASON"] = rng.percent(10) && slot != 0 ? Value() : Value(rng.pick(catalog().promotion_reasons));
  m["OVER_AMT"] = rng.percent(70) ? 0 : rng.pick(std::vector<int>{300, 500, 1000});
  m["BILL_TYPE"] = slot == 6 ? "2" : "1";
  m["CHG_DATE"] = m.at("BILL_DATE");
  m["CHG_USER"] = employee_id(rng.between(1, ctx.employees));
  const int lines = rng.between(2, 10);
  for (int i = 1; i <= lines && !products.empty(); ++i) {
    const ProductRef& p = products[static_cast<std::size_t>(rng.below(static_cast<int>(products.size())))];
    Row l(service_table("PSALE_SUB"));
    const double price = std::round(p.price * 0.85);
    l["MASTERBILLID"] = id;
    l["TEMPPRODID"] = padded("", i, 3);
    l["PROD_ID"] = p.id;
    l["PROD_NAME"] = p.name;
    l["PROD_BARCODE"] = p.barcode.empty() ? Value() : Value(p.barcode);
    l["PD_ITEMID"] = p.item_id;
    l["PSALE_FLAG"] = "1";
    l["PSALE_PRICE"] = price;
    l["OLD_PRICE"] = rng.percent(10) ? Value() : Value(p.price);
    l["VIP_PRICE"] = rng.percent(50) ? Value() : Value(std::round(price * 0.95));
    l["N_QTY"] = rng.percent(20) ? Value() : Value(rng.between(1, 3));
    const bool gift = rng.percent(15);
    const ProductRef& g = products[static_cast<std::size_t>(rng.below(static_cast<int>(products.size())))];
    l["G_PROD_ID"] = gift ? Value(g.id) : Value();
    l["G_PROD_NAME"] = gift ? Value(g.name) : Value();
    l["G_QTY"] = gift ? Value(1) : Value();
    l["STORE_ID"] = rng.percent(80) ? "S01" : "S02";
    l["SEC_DIS"] = rng.percent(90) ? "N" : "Y";
    l["PACK_QTY"] = rng.percent(85) ? 1 : rng.between(2, 6);
    l["PLIMIT_QTY"] = rng.percent(80) ? 0 : rng.between(1, 5);
    l["POINT_YN"] = rng.percent(80) ? "Y" : "N";
    // A whole bill stopped (slot 7), or now and then one line of a bill after its first.
    l["STOP_SALE"] = slot == 7 || (slot != 0 && i > 1 && rng.percent(20)) ? "Y" : "N";
    bill.lines.push_back(std::move(l));
  }
  return bill;
}

Bill make_any_choice(const SeedContext& ctx, int number, std::span<const ProductRef> products) {
  Rng rng = row_rng(ctx.seed, "PTSALE_MASTER", number);
  static const Phase phases[] = {Phase::Current, Phase::EndsToday, Phase::Past, Phase::Future};
  Bill bill{Row(service_table("PTSALE_MASTER")), {}};
  Row& m = bill.master;
  const std::string id = any_choice_id(number);
  m["MASTERBILLID"] = id;
  set_period(ctx, rng, m, phases[(number - 1) % 4]);
  m["PRO_ID"] = padded("PRO", number, 5);
  m["INI_TIME"] = "00:00";
  m["END_TIME"] = "23:59";
  m["PTSALE_CLASS"] = rng.percent(70) ? "A" : "B";
  m["PTSALE_QTY"] = rng.between(2, 5);
  m["PTSALE_PRICE"] = static_cast<double>(rng.pick(std::vector<int>{99, 100, 149, 199, 299}));
  m["PTSALE_DIS"] = rng.percent(70) ? 0.0 : 0.9;
  m["CHG_DATE"] = m.at("BILL_DATE");
  m["CHG_USER"] = employee_id(rng.between(1, ctx.employees));
  m["REMARK"] = rng.percent(50) ? Value() : Value("任選" + std::to_string(m["PTSALE_QTY"].integer()) + "件");
  m["SEC_DIS"] = "N";
  m["POINT_YN"] = rng.percent(80) ? "Y" : "N";
  const int lines = rng.between(3, 12);
  for (int i = 1; i <= lines && !products.empty(); ++i) {
    const ProductRef& p = products[static_cast<std::size_t>(rng.below(static_cast<int>(products.size())))];
    Row l(service_table("PTSALE_SUB"));
    l["MASTERBILLID"] = id;
    l["TEMPPRODID"] = padded("", i, 3);
    l["PROD_ID"] = p.id;
    l["PROD_BARCODE"] = p.barcode.empty() ? Value() : Value(p.barcode);
    l["PROD_NAME"] = p.name;
    l["PROVIDER_ID"] = padded("V", rng.between(1, 200), 4);
    bill.lines.push_back(std::move(l));
  }
  return bill;
}

Bill make_gift_promotion(const SeedContext& ctx, int number, std::span<const ProductRef> products) {
  Rng rng = row_rng(ctx.seed, "GSALE_MASTER", number);
  static const Phase phases[] = {Phase::Current, Phase::StartsToday, Phase::Current,
                                 Phase::Past,    Phase::Future,      Phase::Current};
  const int slot = (number - 1) % 6;
  Bill bill{Row(service_table("GSALE_MASTER")), {}};
  Row& m = bill.master;
  const std::string id = gift_promotion_id(number);
  m["MASTERBILLID"] = id;
  set_period(ctx, rng, m, phases[slot]);
  m["REASON"] = rng.percent(10) && slot != 0 ? Value() : Value(rng.pick(catalog().gift_reasons));
  m["OVER_AMT"] = rng.pick(std::vector<int>{0, 500, 1000, 2000});
  m["BILL_TYPE"] = slot == 5 ? "2" : "1";
  m["CHG_DATE"] = m.at("BILL_DATE");
  m["CHG_USER"] = employee_id(rng.between(1, ctx.employees));
  const int lines = rng.between(1, 6);
  for (int i = 1; i <= lines && !products.empty(); ++i) {
    const ProductRef& p = products[static_cast<std::size_t>(rng.below(static_cast<int>(products.size())))];
    const ProductRef& g = products[static_cast<std::size_t>(rng.below(static_cast<int>(products.size())))];
    Row l(service_table("GSALE_SUB"));
    l["MASTERBILLID"] = id;
    l["TEMPPRODID"] = padded("", i, 3);
    l["PROD_ID"] = p.id;
    l["PROD_NAME"] = p.name;
    l["PROD_BARCODE"] = p.barcode.empty() ? Value() : Value(p.barcode);
    l["PD_ITEMID"] = p.item_id;
    l["PSALE_FLAG"] = "1";
    l["PSALE_PRICE"] = p.price;
    l["OLD_PRICE"] = rng.percent(10) ? Value() : Value(p.price);
    l["VIP_PRICE"] = rng.percent(50) ? Value() : Value(std::round(p.price * 0.95));
    l["N_QTY"] = rng.percent(15) ? Value() : Value(rng.between(1, 3));
    l["G_PROD_ID"] = g.id;
    l["G_PROD_NAME"] = g.name;
    l["G_QTY"] = rng.percent(15) ? Value() : Value(1);
    l["STORE_ID"] = rng.percent(80) ? "S01" : "S02";
    l["SEC_DIS"] = "N";
    bill.lines.push_back(std::move(l));
  }
  return bill;
}

}  // namespace pos::headoffice

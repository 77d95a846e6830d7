#include "headoffice/generators/seeder.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <stdexcept>
#include <tuple>

#include "headoffice/generators/calendar.h"
#include "headoffice/generators/seed_catalog.h"
#include "headoffice/generators/seed_rows.h"
#include "headoffice/storage/schema.h"

namespace pos::headoffice {
namespace {

// Bulk writer for one table that counts its rows.
class TableFill {
 public:
  TableFill(Connection& c, const std::string& table) : table_(table) {
    const auto names = column_names(service_table(table));
    insert_ = c.bulk_insert(table, names);
  }
  void add(const Row& row) {
    insert_->add(row.values());
    ++rows_;
  }
  TableCount finish() {
    insert_->finish();
    return {table_, rows_};
  }

 private:
  std::string table_;
  std::unique_ptr<BulkInsert> insert_;
  std::int64_t rows_ = 0;
};

std::string two(int n) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d", n);
  return buf;
}

void seed_categories(Connection& c, const SeedContext& ctx, std::vector<TableCount>& counts) {
  const Catalog& cat = catalog();
  TableFill dep(c, "PROD_DEPART"), top(c, "PROD_TOPITEM"), grp(c, "PROD_HIITEM"), item(c, "PROD_ITEM");
  for (const auto& d : cat.departments) {
    Row r(service_table("PROD_DEPART"));
    r["PD_DEPID"] = d.id;
    r["PD_DEPNAME"] = d.name;
    dep.add(r);
  }
  for (const auto& t : cat.tops) {
    Row r(service_table("PROD_TOPITEM"));
    r["TOP_ITEMID"] = t.id;
    r["TOP_ITEMNAME"] = t.name;
    r["PD_DEPID"] = t.department;
    top.add(r);
  }
  for (const auto& g : cat.groups) {
    Row r(service_table("PROD_HIITEM"));
    r["PD_GRPID"] = g.id;
    r["PD_GRPNAME"] = g.name;
    r["TOP_ITEMID"] = g.top;
    grp.add(r);
  }
  Rng rng = row_rng(ctx.seed, "PROD_ITEM", 0);
  for (const auto& s : cat.smalls) {
    Row r(service_table("PROD_ITEM"));
    r["PD_ITEMID"] = s.id;
    r["PD_ITEMNAME"] = s.name;
    r["PD_GRPID"] = s.group;
    r["M_SHOW"] = rng.percent(85) ? "Y" : "N";
    item.add(r);
  }
  // A group without a top category: its small category carries no top or department.
  {
    Row g(service_table("PROD_HIITEM"));
    g["PD_GRPID"] = "9901";
    g["PD_GRPNAME"] = "未分類";
    grp.add(g);
    Row s(service_table("PROD_ITEM"));
    s["PD_ITEMID"] = "990101";
    s["PD_ITEMNAME"] = "其他";
    s["PD_GRPID"] = "9901";
    s["M_SHOW"] = "N";
    item.add(s);
  }
  counts.push_back(dep.finish());
  counts.push_back(top.finish());
  counts.push_back(grp.finish());
  counts.push_back(item.finish());
}

std::vector<ProductRef> seed_products(Connection& c, const SeedContext& ctx, int count,
                                      std::vector<TableCount>& counts) {
  TableFill products(c, "PRODUCT"), bundles(c, "PROD_SALE");
  std::vector<ProductRef> refs;
  refs.reserve(static_cast<std::size_t>(count));
  for (int n = 1; n <= count; ++n) {
    const Row p = make_product(ctx, n);
    products.add(p);
    for (const Row& b : make_bundles(ctx, n, p)) bundles.add(b);
    refs.push_back(product_ref(p));
  }
  counts.push_back(products.finish());
  counts.push_back(bundles.finish());
  return refs;
}

void seed_people(Connection& c, const SeedContext& ctx, const SeedOptions& o, std::vector<TableCount>& counts) {
  {
    TableFill employees(c, "EMPLOYEE");
    for (int n = 1; n <= o.employees; ++n) employees.add(make_employee(ctx, n));
    counts.push_back(employees.finish());
  }
  {
    TableFill shifts(c, "WRK_ITEM");
    const auto& list = catalog().shifts;
    static const char* allowances[] = {"0", "100", "200", "150"};
    for (std::size_t i = 0; i < list.size(); ++i) {
      Row r(service_table("WRK_ITEM"));
      const std::string start = list[i].second;
      const int hour = std::stoi(start.substr(0, 2));
      const int hours = i == 3 ? 9 : 8;
      r["WRK_NO"] = std::to_string(i + 1);
      r["WRK_NAME"] = list[i].first;
      r["WRK_ALOW"] = allowances[i % 4];
      r["START_TIME"] = start;
      r["END_TIME"] = two((hour + hours) % 24) + ":00";
      r["WORK_TIME"] = two(hours) + ":00";
      shifts.add(r);
    }
    counts.push_back(shifts.finish());
  }
  {
    TableFill classes(c, "MEMBER_CLASS");
    const std::vector<std::tuple<std::string, std::string, double>> list = {
        {"01", "一般會員", 100}, {"02", "銀卡會員", 95}, {"03", "金卡會員", 90},
        {"04", "白金會員", 88},  {"05", "員工", 85},     {"06", "企業會員", 92.5}};
    for (const auto& [id, name, idis] : list) {
      Row r(service_table("MEMBER_CLASS"));
      r["CLASS_ID"] = id;
      r["CLASS_NAME"] = name;
      r["IDIS"] = idis;
      classes.add(r);
    }
    counts.push_back(classes.finish());

    TableFill discounts(c, "MEMLEVEL_PDCLASS_DIS");
    Rng rng = row_rng(o.seed, "MEMLEVEL_PDCLASS_DIS", 0);
    for (const auto& [id, name, idis] : list) {
      for (const auto& [pd_class, pd_name] : catalog().product_classes) {
        Row r(service_table("MEMLEVEL_PDCLASS_DIS"));
        r["MEM_CLASSID"] = id;
        r["PD_CLASSID"] = pd_class;
        r["PD_CLASSNAME"] = pd_name;
        // No discount on alcohol; now and then a class-wide rate is left unset.
        r["DISCOUNT"] =
            pd_class == "C3" || rng.percent(10) ? Value() : Value(idis - rng.pick(std::vector<double>{0, 2, 2.5, 5}));
        r["REMARK"] = rng.percent(70) ? Value() : Value(name + pd_name);
        discounts.add(r);
      }
    }
    counts.push_back(discounts.finish());

    TableFill levels(c, "MEMDIS_LEVEL");
    for (const auto& [id, name, idis] : list) {
      const double bands[][3] = {{0, 999, 100}, {1000, 4999, 98}, {5000, 999999, 95}};
      for (int level = 1; level <= 3; ++level) {
        Row r(service_table("MEMDIS_LEVEL"));
        r["CLASS_ID"] = id;
        r["LEVEL_ID"] = level;
        r["LO_AMT"] = bands[level - 1][0];
        r["HI_AMT"] = bands[level - 1][1];
        r["I_DISCOUNT"] = bands[level - 1][2];
        levels.add(r);
      }
    }
    counts.push_back(levels.finish());
  }
  {
    TableFill members(c, "MEMBER"), cards(c, "VIPCARD_SUB"), smart(c, "SMARTCARD_DATA");
    for (int n = 1; n <= o.members; ++n) {
      const Row m = make_member(ctx, n);
      members.add(m);
      for (const Row& s : make_subcards(ctx, n, m)) cards.add(s);
      for (const Row& s : make_smartcards(ctx, n, m)) smart.add(s);
    }
    counts.push_back(members.finish());
    counts.push_back(cards.finish());
    counts.push_back(smart.finish());
  }
}

void seed_terminals(Connection& c, const SeedContext& ctx, const SeedOptions& o, std::vector<TableCount>& counts) {
  const Date today = parse_date(ctx.today);
  const int roc = roc_year(today);
  TableFill machines(c, "MCH_ITEM"), einvoice(c, "EINVOICE_WORD"), words(c, "INV_WORD");
  int index = 0;
  for (const auto& mch : o.terminals) {
    ++index;
    Row r(service_table("MCH_ITEM"));
    r["MCH_NO"] = mch;
    r["MCH_NAME"] = "收銀台" + mch;
    r["MCH_IP"] = "192.168.1." + std::to_string(100 + index % 150);
    r["STOCK_ID"] = "S01";
    r["TOP_ITEMID"] = "";  // every product
    r["CHG_DATE"] = ctx.today;
    r["CHG_USER"] = employee_id(1);
    machines.add(r);
    // E-invoice number ranges for this period and the next, per terminal.
    const int period = (today.month - 1) / 2 * 2 + 1;
    for (int k = 0; k < 2; ++k) {
      int month = period + 2 * k, year = roc;
      if (month > 12) {
        month -= 12;
        ++year;
      }
      Row e(service_table("EINVOICE_WORD"));
      const long base = 10000000L + index * 100000L + k * 50000L;
      e["MCH_NO"] = mch;
      e["EYY"] = std::to_string(year);
      e["EMM"] = two(month);
      e["EWORD"] = std::string(1, static_cast<char>('A' + (month / 2) % 26)) + static_cast<char>('A' + index % 26);
      e["BG_NUM"] = std::to_string(base);
      e["ED_NUM"] = std::to_string(base + 49999);
      e["CHG_DATE"] = ctx.today;
      e["CHG_USER"] = employee_id(1);
      einvoice.add(e);
    }
  }
  for (int month = 1; month <= 11; month += 2) {
    Row w(service_table("INV_WORD"));
    w["YY"] = std::to_string(roc);
    w["MM"] = two(month);
    w["INV_WORD"] = std::string(1, static_cast<char>('A' + month / 2 * 2)) + static_cast<char>('B' + month / 2 * 2);
    words.add(w);
  }
  counts.push_back(machines.finish());
  counts.push_back(einvoice.finish());
  counts.push_back(words.finish());
}

void seed_promotions(Connection& c, const SeedContext& ctx, const SeedOptions& o,
                     const std::vector<ProductRef>& products, std::vector<TableCount>& counts) {
  auto fill = [&](const char* master_table, const char* line_table, int count, auto make) {
    TableFill masters(c, master_table), lines(c, line_table);
    for (int n = 1; n <= count; ++n) {
      const Bill b = make(ctx, n, products);
      masters.add(b.master);
      for (const Row& l : b.lines) lines.add(l);
    }
    counts.push_back(masters.finish());
    counts.push_back(lines.finish());
  };
  fill("PSALE_MASTER", "PSALE_SUB", o.promotions, make_sales_promotion);
  fill("PTSALE_MASTER", "PTSALE_SUB", o.any_choice, make_any_choice);
  fill("GSALE_MASTER", "GSALE_SUB", o.gifts, make_gift_promotion);
}

void seed_keys_and_points(Connection& c, const SeedContext& ctx, const SeedOptions& o,
                          const std::vector<ProductRef>& products, std::vector<TableCount>& counts) {
  Rng rng = row_rng(o.seed, "LOC_KEY_MAP", 0);
  TableFill keys(c, "LOC_KEY_MAP"), subs(c, "LOC_KEY_MAP_SUB");
  for (int k = 1; k <= o.keys && !products.empty(); ++k) {
    Row r(service_table("LOC_KEY_MAP"));
    const ProductRef& p = products[static_cast<std::size_t>(rng.below(static_cast<int>(products.size())))];
    r["ID_NO"] = "K" + two(k);
    r["PDC_NO"] = p.id;
    r["PDC_NAME"] = p.name;
    r["MEMO"] = rng.pick(catalog().key_memos);
    keys.add(r);
    std::vector<std::string> seen;
    const int n = rng.between(3, 6);
    for (int i = 0; i < n; ++i) {
      const ProductRef& q = products[static_cast<std::size_t>(rng.below(static_cast<int>(products.size())))];
      if (std::find(seen.begin(), seen.end(), q.id) != seen.end()) continue;
      seen.push_back(q.id);
      Row s(service_table("LOC_KEY_MAP_SUB"));
      s["ID_NO"] = "K" + two(k);
      s["PDC_NO"] = q.id;
      s["PDC_NAME"] = q.name;
      s["MEMO"] = Value();
      subs.add(s);
    }
  }
  counts.push_back(keys.finish());
  counts.push_back(subs.finish());

  // Points settings: one that started earlier, one from today, two to come.
  TableFill points(c, "POINT_SET");
  const std::pair<int, double> settings[] = {{-90, 100}, {0, 100}, {30, 50}, {60, 200}};
  for (const auto& [days, amount] : settings) {
    Row r(service_table("POINT_SET"));
    r["INI_DATE"] = add_days(ctx.today, days);
    r["SAL_AMT"] = amount;
    r["CHG_POINT"] = 1;
    r["CHG_DATE"] = add_days(ctx.today, std::min(days, 0) - 7);
    r["CHG_USER"] = employee_id(1);
    points.add(r);
  }
  counts.push_back(points.finish());
}

}  // namespace

SeedOptions scale_options(std::string_view scale) {
  SeedOptions o;
  if (scale == "small") return o;
  if (scale == "store") {
    o.products = 50000;
    o.members = 20000;
    o.promotions = 120;
    o.any_choice = 40;
    o.gifts = 40;
    o.employees = 40;
    o.keys = 60;
    return o;
  }
  if (scale == "large") {
    o.products = 200000;
    o.members = 100000;
    o.promotions = 400;
    o.any_choice = 100;
    o.gifts = 100;
    o.employees = 80;
    o.keys = 99;
    return o;
  }
  throw std::invalid_argument("unknown scale '" + std::string(scale) + "' (small, store or large)");
}

std::vector<TableCount> seed_database(Connection& c, const SeedOptions& o) {
  if (o.terminals.empty()) throw std::invalid_argument("seed: no terminals");
  if (o.products < 1 || o.members < 1 || o.employees < 1) {
    throw std::invalid_argument("seed: needs at least one product, member and employee");
  }
  if (o.keys > 99) throw std::invalid_argument("seed: at most 99 keyboard keys");
  for (const auto& t : o.terminals) {
    if (t.empty() || t.size() > 5)
      throw std::invalid_argument("seed: machine number '" + t + "' is not 1 to 5 characters");
  }
  const SeedContext ctx{o.seed, o.today, o.employees};
  parse_date(ctx.today);  // throws on a bad date

  if (!schema_present(c)) create_schema(c, false);
  std::vector<TableCount> counts;
  Transaction tx(c);
  for (const auto& t : service_tables()) c.execute("DELETE FROM " + t.name);
  seed_categories(c, ctx, counts);
  const auto products = seed_products(c, ctx, o.products, counts);
  seed_people(c, ctx, o, counts);
  seed_terminals(c, ctx, o, counts);
  seed_promotions(c, ctx, o, products, counts);
  seed_keys_and_points(c, ctx, o, products, counts);
  tx.commit();
  return counts;
}

}  // namespace pos::headoffice

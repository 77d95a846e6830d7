#include "headoffice/generators/changer.h"

#include <algorithm>
#include <stdexcept>

#include "headoffice/generators/calendar.h"
#include "headoffice/generators/seed_rows.h"
#include "headoffice/storage/schema.h"

namespace pos::headoffice {
namespace {

struct Kind {
  std::string master;  // master table
  std::string key;     // key column
  std::string log;     // change-log table
  bool tran_code;      // the log carries TRAN_CODE
  std::string lines;   // line table of a bill, empty for products and members
  std::string prefix;  // key text before the number
  int base;            // number added to the key's digits (products count from 10000000)
};

Kind kind_of(ChangeWhat what) {
  switch (what) {
    case ChangeWhat::Products:
      return {"PRODUCT", "PROD_ID", "PRODUCT_TEMP", false, "", "", 10000000};
    case ChangeWhat::Members:
      return {"MEMBER", "MEMBER_ID", "MEMBER_TEMP", false, "", "M", 0};
    case ChangeWhat::SalesPromotions:
      return {"PSALE_MASTER", "MASTERBILLID", "PSALE_TEMP", true, "PSALE_SUB", "PS", 0};
    case ChangeWhat::AnyChoice:
      return {"PTSALE_MASTER", "MASTERBILLID", "PTSALE_TEMP", true, "PTSALE_SUB", "PT", 0};
    case ChangeWhat::Gifts:
      return {"GSALE_MASTER", "MASTERBILLID", "GSALE_TEMP", true, "GSALE_SUB", "GS", 0};
  }
  throw std::logic_error("unknown change kind");
}

std::vector<std::string> texts(Connection& c, const std::string& sql) {
  RowCollector rows;
  c.execute(sql, &rows);
  std::vector<std::string> out;
  for (const auto& r : rows.rows()) out.push_back(r.at(0).as_text());
  return out;
}

// The number inside a generated key ("M0000042" -> 42, "10000042" -> 42); 0 for other keys. A CHAR
// key column pads the key with blanks.
int key_number(std::string key, const Kind& k) {
  key.erase(key.find_last_not_of(' ') + 1);
  if (key.size() <= k.prefix.size() || key.compare(0, k.prefix.size(), k.prefix) != 0) return 0;
  const std::string digits = key.substr(k.prefix.size());
  if (digits.find_first_not_of("0123456789") != std::string::npos || digits.size() > 9) return 0;
  return std::max(0, std::stoi(digits) - k.base);
}

void insert_row(Connection& c, const Row& row) {
  const auto names = column_names(row.table());
  auto ins = c.bulk_insert(row.table().name, names);
  ins->add(row.values());
  ins->finish();
}

std::vector<ProductRef> some_products(Connection& c) {
  RowCollector rows;
  c.execute("SELECT PROD_ID, PROD_NAME, PROD_BARCODE, PD_ITEMID, SALE_PRICE FROM PRODUCT ORDER BY PROD_ID LIMIT 2000",
            &rows);
  std::vector<ProductRef> out;
  for (const auto& r : rows.rows()) {
    out.push_back({r[0].as_text(), r[1].as_text(), r[2].as_text(), r[3].as_text(),
                   r[4].is_null() ? 0.0 : (r[4].is_float() ? r[4].number() : static_cast<double>(r[4].integer()))});
  }
  if (out.empty()) throw std::runtime_error("change: the head office has no products");
  return out;
}

void update_row(Connection& c, ChangeWhat what, const Kind& k, const std::string& key, Rng& rng,
                const ChangeOptions& o) {
  const Value id(key);
  const Value today(o.today);
  switch (what) {
    case ChangeWhat::Products: {
      const double delta = rng.between(1, 10);
      const Value params[] = {Value(delta), Value(delta), today, id};
      c.execute(
          "UPDATE PRODUCT SET SALE_PRICE = SALE_PRICE + ?, PSALE_PRICE = PSALE_PRICE + ?, CHG_DATE = ? "
          "WHERE PROD_ID = ?",
          params, nullptr);
      return;
    }
    case ChangeWhat::Members: {
      static const std::vector<std::string> classes = {"01", "02", "03", "04", "05", "06"};
      const Value params[] = {Value("09" + std::to_string(10000000 + rng.below(89999999))), Value(rng.pick(classes)),
                              today, id};
      c.execute("UPDATE MEMBER SET MOBILE_PHONE = ?, MEMBER_CLASSID = ?, CHG_DATE = ? WHERE MEMBER_ID = ?", params,
                nullptr);
      return;
    }
    default: {
      const Value one[] = {id};
      const Value dated[] = {today, id};
      c.execute("UPDATE " + k.master + " SET CHG_DATE = ? WHERE MASTERBILLID = ?", dated, nullptr);
      if (what != ChangeWhat::AnyChoice) {
        c.execute("UPDATE " + k.lines + " SET PSALE_PRICE = PSALE_PRICE + 1 WHERE MASTERBILLID = ?", one, nullptr);
      } else {
        c.execute("UPDATE PTSALE_MASTER SET PTSALE_PRICE = PTSALE_PRICE + 1 WHERE MASTERBILLID = ?", one, nullptr);
      }
      // Now and then a line goes, so that a terminal must drop it too.
      const auto lines =
          texts(c, "SELECT TEMPPRODID FROM " + k.lines + " WHERE MASTERBILLID = '" + key + "' ORDER BY TEMPPRODID");
      if (lines.size() > 1 && rng.percent(30)) {
        const Value line[] = {id, Value(lines.back())};
        c.execute("DELETE FROM " + k.lines + " WHERE MASTERBILLID = ? AND TEMPPRODID = ?", line, nullptr);
      }
      return;
    }
  }
}

void delete_row(Connection& c, ChangeWhat what, const Kind& k, const std::string& key) {
  const Value id[] = {Value(key)};
  if (what == ChangeWhat::Products) c.execute("DELETE FROM PROD_SALE WHERE PROD_ID = ?", id, nullptr);
  if (what == ChangeWhat::Members) c.execute("DELETE FROM VIPCARD_SUB WHERE MEMBER_ID = ?", id, nullptr);
  if (!k.lines.empty()) c.execute("DELETE FROM " + k.lines + " WHERE MASTERBILLID = ?", id, nullptr);
  c.execute("DELETE FROM " + k.master + " WHERE " + k.key + " = ?", id, nullptr);
}

std::string insert_new(Connection& c, ChangeWhat what, int number, const SeedContext& ctx,
                       const std::vector<ProductRef>& products) {
  auto bill = [&](const Bill& b) {
    insert_row(c, b.master);
    for (const Row& l : b.lines) insert_row(c, l);
    return b.master.at("MASTERBILLID").as_text();
  };
  switch (what) {
    case ChangeWhat::Products: {
      const Row p = make_product(ctx, number);
      insert_row(c, p);
      return p.at("PROD_ID").as_text();
    }
    case ChangeWhat::Members: {
      const Row m = make_member(ctx, number);
      insert_row(c, m);
      for (const Row& s : make_subcards(ctx, number, m)) insert_row(c, s);
      return m.at("MEMBER_ID").as_text();
    }
    case ChangeWhat::SalesPromotions:
      return bill(make_sales_promotion(ctx, number, products));
    case ChangeWhat::AnyChoice:
      return bill(make_any_choice(ctx, number, products));
    case ChangeWhat::Gifts:
      return bill(make_gift_promotion(ctx, number, products));
  }
  return {};
}

}  // namespace

ChangeWhat parse_change_what(std::string_view what) {
  if (what == "products") return ChangeWhat::Products;
  if (what == "members") return ChangeWhat::Members;
  if (what == "promotions") return ChangeWhat::SalesPromotions;
  if (what == "anychoice") return ChangeWhat::AnyChoice;
  if (what == "gifts") return ChangeWhat::Gifts;
  throw std::invalid_argument("unknown kind '" + std::string(what) +
                              "' (products, members, promotions, anychoice or gifts)");
}

ChangeSummary apply_changes(Connection& c, const ChangeOptions& o) {
  if (o.count < 0 || o.inserts < 0 || o.deletes < 0) throw std::invalid_argument("change: negative count");
  parse_date(o.today);
  const Kind k = kind_of(o.what);
  Rng rng(o.seed);
  ChangeSummary summary;

  Transaction tx(c);
  std::vector<std::string> terminals = o.terminals;
  if (terminals.empty()) terminals = texts(c, "SELECT MCH_NO FROM MCH_ITEM ORDER BY MCH_NO");
  if (terminals.empty()) throw std::runtime_error("change: no terminals (MCH_ITEM is empty)");

  std::vector<std::string> keys = texts(c, "SELECT " + k.key + " FROM " + k.master + " ORDER BY " + k.key);
  const std::size_t wanted = static_cast<std::size_t>(o.count) + static_cast<std::size_t>(o.deletes);
  if (wanted > keys.size()) {
    throw std::runtime_error("change: " + std::to_string(wanted) + " rows asked for, " + k.master + " has " +
                             std::to_string(keys.size()));
  }
  int next_number = 0;
  for (const auto& key : keys) next_number = std::max(next_number, key_number(key, k));
  // Partial shuffle: the first `wanted` keys are a random choice without repeats.
  for (std::size_t i = 0; i < wanted; ++i) {
    const std::size_t j = i + static_cast<std::size_t>(rng.below(static_cast<int>(keys.size() - i)));
    std::swap(keys[i], keys[j]);
  }

  const SeedContext ctx{rng.next(), o.today, 12};
  for (int i = 0; i < o.count; ++i) {
    update_row(c, o.what, k, keys[static_cast<std::size_t>(i)], rng, o);
    summary.updated.push_back(keys[static_cast<std::size_t>(i)]);
  }
  for (int i = 0; i < o.deletes; ++i) {
    const std::string& key = keys[static_cast<std::size_t>(o.count + i)];
    delete_row(c, o.what, k, key);
    summary.deleted.push_back(key);
  }
  if (o.inserts > 0) {
    const std::vector<ProductRef> products =
        o.what == ChangeWhat::Products || o.what == ChangeWhat::Members ? std::vector<ProductRef>{} : some_products(c);
    for (int i = 0; i < o.inserts; ++i) summary.inserted.push_back(insert_new(c, o.what, ++next_number, ctx, products));
  }

  // One bulk insert for the whole log: a fleet's worth of entries per change.
  std::vector<std::string> log_columns = {"MCH_NO", k.key, "STATE"};
  if (k.tran_code) log_columns.push_back("TRAN_CODE");
  auto log_insert = c.bulk_insert(k.log, log_columns);
  auto log = [&](const std::vector<std::string>& list, const char* state) {
    for (const auto& mch : terminals) {
      for (const auto& key : list) {
        const Value entry[] = {Value(mch), Value(key), Value(state), Value(std::string())};
        log_insert->add(std::span(entry, log_columns.size()));
        ++summary.log_entries;
      }
    }
  };
  log(summary.updated, "UPDATE");
  log(summary.inserted, "INSERT");
  log(summary.deleted, "DELETE");
  log_insert->finish();
  tx.commit();
  return summary;
}

}  // namespace pos::headoffice

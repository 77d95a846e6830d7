#pragma once
// Rows of the service tables made up from a seed: the same seed, number and date give the
// same row on every machine, whatever else is generated.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "headoffice/storage/schema.h"
#include "text/value.h"

namespace pos::headoffice {

// SplitMix64: small, fast and the same everywhere (std distributions are not).
class Rng {
 public:
  explicit Rng(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next();
  int below(int n);             // 0 .. n-1
  int between(int lo, int hi);  // lo .. hi
  bool percent(int p);          // true in p of 100 draws
  double fraction();            // [0, 1)
  template <class T>
  const T& pick(const std::vector<T>& v) {
    return v[static_cast<std::size_t>(below(static_cast<int>(v.size())))];
  }

 private:
  std::uint64_t state_;
};

// The generator for row `number` of `table`.
Rng row_rng(std::uint64_t seed, std::string_view table, std::int64_t number);

// One row of a service table; values sit in the table's column order.
class Row {
 public:
  explicit Row(const TableDef& table);
  Value& operator[](std::string_view column);  // throws std::out_of_range for an unknown column
  const Value& at(std::string_view column) const;
  const std::vector<Value>& values() const { return values_; }
  const TableDef& table() const { return *table_; }

 private:
  const TableDef* table_;
  const std::unordered_map<std::string, std::size_t>* index_;
  std::vector<Value> values_;
};

struct SeedContext {
  std::uint64_t seed = 1;
  std::string today;  // YYYY/MM/DD
  int employees = 12;
};

std::string product_id(int number);                 // "10000001"
std::string member_id(int number);                  // "M0000001"
std::string employee_id(int number);                // "E0001"
std::string sales_promotion_id(int number);         // "PS000001"
std::string any_choice_id(int number);              // "PT000001"
std::string gift_promotion_id(int number);          // "GS000001"
std::string ean13(std::string_view twelve_digits);  // appends the check digit

std::string person_name(std::uint64_t seed, std::string_view table, int number);

struct ProductRef {
  std::string id, name, barcode, item_id;
  double price = 0;
};

Row make_product(const SeedContext& ctx, int number);
ProductRef product_ref(const Row& product);
// A bundle barcode for some products (about one in fifty); empty rows otherwise.
std::vector<Row> make_bundles(const SeedContext& ctx, int number, const Row& product);

Row make_member(const SeedContext& ctx, int number);
std::vector<Row> make_subcards(const SeedContext& ctx, int number, const Row& member);
std::vector<Row> make_smartcards(const SeedContext& ctx, int number, const Row& member);
Row make_employee(const SeedContext& ctx, int number);

struct Bill {
  Row master;
  std::vector<Row> lines;
};

// Promotions cycle through current, past, future, type '2' and stopped bills by number; the
// first of each kind is current and fully on sale.
Bill make_sales_promotion(const SeedContext& ctx, int number, std::span<const ProductRef> products);
Bill make_any_choice(const SeedContext& ctx, int number, std::span<const ProductRef> products);
Bill make_gift_promotion(const SeedContext& ctx, int number, std::span<const ProductRef> products);

}  // namespace pos::headoffice

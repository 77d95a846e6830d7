#include "localdb/local_query.h"

#include <strings.h>

#include "localdb/errors.h"
#include "localdb/named_params.h"
#include "text/ascii.h"

namespace pos {

void LocalQuery::close() {
  active_ = false;
  columns_.clear();
  rows_.clear();
  row_ = 0;
}

void LocalQuery::clear() {
  close();
  lines_.clear();
  params_.clear();
}

void LocalQuery::add(std::string line) { lines_.push_back(std::move(line)); }

std::string LocalQuery::text() const {
  std::string out;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (i) out += '\n';
    out += lines_[i];
  }
  return out;
}

void LocalQuery::set_param(const std::string& name, Value v) {
  std::string key = ascii_upper(name);
  for (const auto& n : parse_named_params(text()).names) {
    if (n == key) {
      for (auto& p : params_)
        if (p.first == key) {
          p.second = std::move(v);
          return;
        }
      params_.emplace_back(key, std::move(v));
      return;
    }
  }
  throw DbError("parameter '" + name + "' not found in: " + text());
}

std::vector<Value> LocalQuery::bound_args(const std::vector<std::string>& names) const {
  std::vector<Value> args;
  args.reserve(names.size());
  for (const auto& n : names) {
    Value v;
    for (const auto& p : params_)
      if (p.first == n) v = p.second;
    args.push_back(std::move(v));
  }
  return args;
}

void LocalQuery::execute() {
  close();
  ParsedSql parsed = parse_named_params(text());
  auto args = bound_args(parsed.names);
  con_.execute(parsed.sql, args);
}

void LocalQuery::open() {
  close();
  ParsedSql parsed = parse_named_params(text());
  auto args = bound_args(parsed.names);
  auto stmt = con_.prepare(parsed.sql);
  if (!stmt->is_select()) throw DbError("not a query: " + text());
  columns_ = stmt->columns();
  rows_ = con_.query(parsed.sql, args);
  row_ = 0;
  active_ = true;
}

void LocalQuery::next() {
  if (row_ < rows_.size()) ++row_;
}

Value LocalQuery::value(const std::string& field) const {
  if (!active_) throw DbError("query is not open: cannot read " + field);
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    if (strcasecmp(columns_[i].name.c_str(), field.c_str()) == 0) return eof() ? Value() : rows_[row_][i];
  }
  throw DbError("field '" + field + "' not found");
}

}  // namespace pos

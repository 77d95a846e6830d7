#include "localdb/terminal_schema.h"

#include <algorithm>
#include <set>
#include <sstream>
#include <stdexcept>

#include "localdb/catalogue.h"
#include "localdb/table_upkeep.h"
#include "text/ascii.h"

namespace pos {

namespace {

constexpr std::string_view kAddedLater = "added later";

std::string trimmed(std::string_view s) {
  const auto first = s.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  return std::string(s.substr(first, s.find_last_not_of(" \t\r") - first + 1));
}

// A line without its "--" comment; `later` tells whether the comment marked it added later.
std::string code_of(const std::string& line, bool& later) {
  const auto comment = line.find("--");
  later = comment != std::string::npos && line.find(kAddedLater, comment) != std::string::npos;
  return trimmed(line.substr(0, comment));
}

// The name a column or index has in the catalogue: unquoted, in capitals.
std::string catalogue_name(std::string name) {
  if (name.size() >= 2 && name.front() == '"' && name.back() == '"') return name.substr(1, name.size() - 2);
  return ascii_upper(name);
}

std::string word_after(const std::string& text, const std::string& word) {
  const std::string upper = ascii_upper(text);
  auto at = upper.find(word);
  if (at == std::string::npos) return {};
  at += word.size();
  const auto end = upper.find_first_of(" (", at);
  return text.substr(at, end - at);
}

std::vector<SchemaTable> parse(const std::string& text) {
  std::vector<SchemaTable> tables;
  std::istringstream in(text);
  bool in_table = false;
  for (std::string line; std::getline(in, line);) {
    bool later = false;
    const std::string code = code_of(line, later);
    if (code.empty()) continue;
    const std::string upper = ascii_upper(code);
    if (in_table) {
      if (code.starts_with(")")) {
        in_table = false;
        continue;
      }
      std::string column = code.back() == ',' ? code.substr(0, code.size() - 1) : code;
      const auto blank = column.find(' ');
      if (blank == std::string::npos) throw std::logic_error("terminal schema: a column without a type: " + line);
      tables.back().columns.push_back({column.substr(0, blank), trimmed(column.substr(blank)), later});
    } else if (upper.starts_with("CREATE TABLE ")) {
      tables.push_back({word_after(code, "CREATE TABLE "), {}, {}, later});
      in_table = true;
    } else if (upper.starts_with("CREATE INDEX ")) {
      const std::string on = ascii_upper(word_after(code, " ON "));
      auto table = std::find_if(tables.begin(), tables.end(), [&](const SchemaTable& t) { return t.name == on; });
      if (table == tables.end()) throw std::logic_error("terminal schema: an index before its table: " + line);
      table->indexes.push_back(code.back() == ';' ? code.substr(0, code.size() - 1) : code);
    } else {
      throw std::logic_error("terminal schema: a line that is no table, column or index: " + line);
    }
  }
  return tables;
}

std::string create_statement(const SchemaTable& table, bool older_level) {
  std::string sql = "CREATE TABLE " + table.name + " (";
  bool first = true;
  for (const auto& c : table.columns) {
    if (older_level && c.added_later) continue;
    sql += std::string(first ? "\n" : ",\n") + "    " + c.name + " " + c.definition;
    first = false;
  }
  return sql + "\n)";
}

std::set<std::string> columns_in_database(LocalQuery& query, const std::string& table) {
  std::set<std::string> names;
  const Value args[] = {Value(table)};
  for (const auto& row : query.connection().query(
           "SELECT TRIM(RDB$FIELD_NAME) FROM RDB$RELATION_FIELDS WHERE RDB$RELATION_NAME = ?", args))
    names.insert(row[0].as_text());
  return names;
}

}  // namespace

const std::vector<SchemaTable>& terminal_schema() {
  static const std::vector<SchemaTable> tables = parse(terminal_schema_sql());
  return tables;
}

const SchemaTable& schema_table(const std::string& name) {
  for (const auto& t : terminal_schema())
    if (t.name == name) return t;
  throw std::logic_error("the terminal schema has no table " + name);
}

std::vector<std::string> older_level_statements() {
  std::vector<std::string> out;
  for (const auto& t : terminal_schema()) {
    if (t.added_later) continue;
    out.push_back(create_statement(t, true));
    out.insert(out.end(), t.indexes.begin(), t.indexes.end());
  }
  return out;
}

void create_missing_table(LocalQuery& query, const SchemaTable& table) {
  if (!TableMissing(query, table.name)) return;
  release_next_relation_slot(query.connection());
  restart_query(query);
  query.connection().execute(create_statement(table, false));
  for (const auto& index : table.indexes) query.connection().execute(index);
}

void add_missing_columns(LocalQuery& query, const SchemaTable& table, const std::string& only) {
  const std::set<std::string> present = columns_in_database(query, table.name);
  if (present.empty()) return;
  for (const auto& c : table.columns) {
    if (!only.empty() && c.name != only) continue;
    if ((c.added_later || table.added_later) && !present.count(catalogue_name(c.name)))
      ensure_column(query, table.name, c.name, c.definition);
  }
}

void keep_table(LocalQuery& query, const SchemaTable& table) {
  create_missing_table(query, table);
  add_missing_columns(query, table);
  for (const auto& index : table.indexes)
    if (IndexMissing(query, catalogue_name(word_after(index, "CREATE INDEX ")))) query.connection().execute(index);
}

}  // namespace pos

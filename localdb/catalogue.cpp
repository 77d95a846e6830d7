#include "localdb/catalogue.h"

#include "text/ascii.h"
#include "text/sql_text.h"

namespace pos {

namespace {

void restart(LocalQuery& q) {
  q.close();
  q.clear();
}

}  // namespace

// Adds the column with `type` unless the catalogue lists it; any error makes the result false.
bool ensure_column(LocalQuery& q, const std::string& table, const std::string& column, const std::string& type) {
  try {
    restart(q);
    q.add("SELECT * FROM RDB$RELATION_FIELDS ");
    q.add("WHERE RDB$RELATION_NAME = '" + sql_escape(table) + "'");
    q.add("AND RDB$FIELD_NAME = '" + sql_escape(column) + "'");
    q.open();
    if (q.text_of("RDB$FIELD_NAME").empty()) {
      restart(q);
      q.add("ALTER TABLE " + table + " ADD " + column + " " + type);
      q.execute();
    }
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

bool IndexMissing(LocalQuery& q, const std::string& index_name) {
  restart(q);
  q.add("SELECT RDB$INDEX_NAME FROM RDB$INDEX_SEGMENTS ");
  q.add(" WHERE RDB$INDEX_NAME = '" + sql_escape(ascii_upper(index_name)) + "'");
  q.open();
  return q.is_null("RDB$INDEX_NAME");
}

void release_next_relation_slot(LocalConnection& con) {
  if (con.in_transaction()) return;
  const auto spare = con.query("SELECT 1 FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = 'POS_RELATION_SLOT'");
  if (spare.empty()) con.execute("CREATE TABLE POS_RELATION_SLOT (SLOT INTEGER)");
  con.execute("DROP TABLE POS_RELATION_SLOT");
}

bool TableMissing(LocalQuery& q, const std::string& table) {
  restart(q);
  q.add("SELECT * FROM RDB$Relations ");
  q.add(" WHERE RDB$RELATION_NAME = '" + sql_escape(ascii_upper(table)) + "'");
  q.open();
  return q.is_null("RDB$RELATION_NAME");
}

bool EnsureVarcharColumn(LocalQuery& q, const std::string& table, const std::string& column, const std::string& width) {
  return ensure_column(q, table, column, "VARCHAR(" + width + ")");
}

bool EnsureDoubleColumn(LocalQuery& q, const std::string& table, const std::string& column) {
  return ensure_column(q, table, column, "Double Precision");
}

}  // namespace pos

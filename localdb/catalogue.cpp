#include "localdb/catalogue.h"

#include "localdb/table_upkeep.h"
#include "text/ascii.h"
#include "text/sql_text.h"

namespace pos {

bool IndexMissing(LocalQuery& q, const std::string& index_name) {
  restart_query(q);
  q.add("SELECT RDB$INDEX_NAME FROM RDB$INDEX_SEGMENTS ");
  q.add(" WHERE RDB$INDEX_NAME = '" + sql_escape(ascii_upper(index_name)) + "'");
  q.open();
  return q.is_null("RDB$INDEX_NAME");
}

bool TableMissing(LocalQuery& q, const std::string& table) {
  restart_query(q);
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

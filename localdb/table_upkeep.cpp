#include "localdb/table_upkeep.h"

#include "text/sql_text.h"

namespace pos {

void restart_query(LocalQuery& query) {
  query.close();
  query.clear();
}

bool ensure_column(LocalQuery& q, const std::string& table, const std::string& column, const std::string& type) {
  try {
    restart_query(q);
    q.add("SELECT * FROM RDB$RELATION_FIELDS ");
    q.add("WHERE RDB$RELATION_NAME = '" + sql_escape(table) + "'");
    q.add("AND RDB$FIELD_NAME = '" + sql_escape(column) + "'");
    q.open();
    if (q.text_of("RDB$FIELD_NAME").empty()) {
      restart_query(q);
      q.add("ALTER TABLE " + table + " ADD " + column + " " + type);
      q.execute();
    }
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

void release_next_relation_slot(LocalConnection& con) {
  if (con.in_transaction()) return;
  const auto spare = con.query("SELECT 1 FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = 'POS_RELATION_SLOT'");
  if (spare.empty()) con.execute("CREATE TABLE POS_RELATION_SLOT (SLOT INTEGER)");
  con.execute("DROP TABLE POS_RELATION_SLOT");
}

}  // namespace pos

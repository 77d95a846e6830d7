#include "headoffice/storage/database.h"

namespace pos::headoffice {

Value query_value(Connection& c, std::string_view sql, std::span<const Value> params) {
  RowCollector rows;
  c.execute(sql, params, &rows);
  if (rows.rows().empty() || rows.rows().front().empty()) return Value();
  return rows.rows().front().front();
}

}  // namespace pos::headoffice

#include "localdb/schema_upkeep.h"

#include "localdb/terminal_schema.h"

namespace pos {

void upgrade_local_schema(LocalQuery& q) {
  // As older terminals have always been brought up: the first product column, the invoice ranges
  // (a failure there passes on), the other product columns.
  const SchemaTable& products = schema_table("LOC_PDC");
  add_missing_columns(q, products, "POINT_YN");
  create_missing_table(q, schema_table("EINVOICE_WORD"));
  add_missing_columns(q, products);
  // Then whatever else of this program's tables and columns the terminal lacks.
  for (const SchemaTable& table : terminal_schema()) {
    if (table.added_later)
      keep_table(q, table);
    else
      add_missing_columns(q, table);
  }
}

}  // namespace pos

#include "localdb/schema_upkeep.h"

#include "localdb/catalogue.h"
#include "localdb/table_upkeep.h"

namespace pos {

void upgrade_local_schema(LocalQuery& q) {
  EnsureVarcharColumn(q, "LOC_PDC", "POINT_YN", "1");
  if (TableMissing(q, "EINVOICE_WORD")) {
    release_next_relation_slot(q.connection());
    q.close();
    q.clear();
    for (const char* line : {"CREATE TABLE EINVOICE_WORD ( ", " MCH_NO VARCHAR(5) NOT NULL,", " EYY VARCHAR(4),",
                             " EMM VARCHAR(2),", " EWORD VARCHAR(2),", " BG_NUM VARCHAR(10),", " ED_NUM VARCHAR(10),",
                             " CHG_DATE VARCHAR(10),", " CHG_USER VARCHAR(10) ) "})
      q.add(line);
    q.execute();
    q.close();
    q.clear();
    q.add(" CREATE INDEX IDX_EINVOICE_WORD_0 ON EINVOICE_WORD(MCH_NO) ");
    q.execute();
  }
  EnsureVarcharColumn(q, "LOC_PDC", "PROD_SCALE", "30");
  EnsureVarcharColumn(q, "LOC_PDC", "STOCK_QTY", "5");
  EnsureDoubleColumn(q, "LOC_PDC", "DEF_PROFIT");
  EnsureVarcharColumn(q, "LOC_PDC", "MS", "1");
  EnsureVarcharColumn(q, "LOC_PDC", "PUT_ID", "10");
}

}  // namespace pos

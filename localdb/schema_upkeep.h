#pragma once
// Brings an older terminal database up to the level the jobs expect. Runs after every opening.

#include "localdb/local_query.h"

namespace pos {

// Adds what of terminal_schema.sql an older database lacks: the product columns, EINVOICE_WORD with
// its index, and every other table and column added later. Only adds; never drops or widens. A
// failure around EINVOICE_WORD passes on and skips the later steps; a column that cannot be added
// is skipped quietly.
void upgrade_local_schema(LocalQuery& query);

}  // namespace pos

#pragma once
// The line mapping that sales promotions and gift promotions share: a promotion header with one of
// its product lines. Only N_QTY's rule differs, and sales lines carry three columns more.

#include <initializer_list>
#include <vector>

#include "jobs/kit/column_mapping.h"

namespace pos {

// The shared columns in the tables' order, with `n_qty` in its place and `more` at the end.
std::vector<ColumnMap> sale_line_mapping(ColumnMap n_qty, std::initializer_list<ColumnMap> more = {});

}  // namespace pos

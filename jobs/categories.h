#pragma once
// The first stretches of the product job: the category table rebuild and the product indexes.

#include "jobs/kit/run_context.h"

namespace pos {

// Rebuilds LOC_TYPE from the service's category hierarchy, one row per small category. The table
// is refilled as one unit of work after the fetch: a failed fetch or row leaves the old rows.
void rebuild_categories(RunContext& ctx);

// Creates LOC_PDC1, LOC_PDC2 and LOC_PDC3 when missing, and LOC_PDC4 on PDC_NO, which the full
// update's replacement needs to stay linear.
void keep_product_indexes(RunContext& ctx);

}  // namespace pos

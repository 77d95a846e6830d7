#pragma once
// Job 0: categories, product indexes and the product table LOC_PDC.

#include "jobs/run_context.h"

namespace pos {

void sync_products(RunContext& ctx);

}  // namespace pos

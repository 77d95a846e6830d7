#pragma once
// Job 5: the bundle-sale barcodes PROD_SALE, replaced whole in changes update.

#include "jobs/run_context.h"

namespace pos {

void RunBundleBarcodesJob(RunContext& ctx);

}  // namespace pos

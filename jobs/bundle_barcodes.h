#pragma once
// Job 5: the bundle-sale barcodes PROD_SALE, replaced whole in changes update.

#include "jobs/run_context.h"

namespace pos {

void sync_bundle_barcodes(RunContext& ctx);

}  // namespace pos

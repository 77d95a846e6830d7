#pragma once
// The gift promotions, the second half of job 12.

#include "jobs/kit/run_context.h"

namespace pos {

// Logs its line, then follows the gift change log (changes update) or refreshes the current gift
// promotions (full update).
void sync_gift_promotions(RunContext& ctx);

}  // namespace pos

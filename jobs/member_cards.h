#pragma once
// The two operations the member job uses: a member's sub-cards and the member-class discounts.

#include <string>

#include "jobs/kit/keyed_fetch.h"
#include "jobs/kit/run_context.h"

namespace pos {

// Fetches the service's sub-cards of a member (`fetch(ctx.sub_cards, id)`), or of a chunk of
// members at once when the terminal batches its requests.
KeyedFetch sub_card_fetch(RunContext& ctx);

// Brings the member's local sub-cards in line with the fetched ones: each is found by SUBCARD_ID
// (whole value, letter case significant, rows appended earlier in the same refresh included) and
// edited, or appended; sub-cards the answer no longer holds stay. No fetched sub-card: all of the
// member's local sub-cards go.
void write_sub_cards(RunContext& ctx, const std::string& id);

// Logs its line and rebuilds MEMLEVEL_PDCLASS_DIS from the service as one unit of work after the
// fetch: a failed fetch or row leaves the old rows.
void rebuild_class_discounts(RunContext& ctx);

}  // namespace pos

#pragma once
// The shape the three promotion kinds share: a promotion is a header joined with its lines, kept
// locally as one row per line (the header repeated). A changes update follows the kind's marked
// change log and rewrites a logged promotion whole; a full update upserts the current lines by
// promotion and line.

#include <functional>
#include <span>
#include <string>
#include <vector>

#include "jobs/kit/column_mapping.h"
#include "jobs/kit/keyed_fetch.h"
#include "jobs/kit/marked_change_log.h"
#include "jobs/kit/row_loop.h"
#include "jobs/kit/run_context.h"

namespace pos {

struct PromotionTable {
  const char* table;                   // the local table, one row per line
  std::span<const ColumnMap> mapping;  // answer line -> local row
};

// One logged promotion `id`: fetches its lines with `lines` into the answer. When there are
// any, `drop` (a local DELETE of the promotion's lines, with '?' for `id`) and every fetched line
// appended to the open row cursor take effect as one unit of work; when there are none, the local
// lines stay.
void rewrite_promotion(RunContext& ctx, const std::string& id, KeyedFetch& lines, const std::string& drop,
                       const PromotionTable& promotions);

// A kind's marked change log and the query of its lines by promotion (key field MASTERBILLID).
struct MarkedLines {
  MarkedChangeLog log;
  KeyedQuery lines;
};

// A kind's changes update: its change log's statements, and its local statements with '?' for a
// promotion's id.
struct MarkedPromotions {
  MarkedLines texts;
  PromotionTable promotions;
  std::string drop_deleted;                         // drops a deleted promotion's lines
  std::string drop_rewritten;                       // drops a promotion's lines before its rewrite
  std::string open_table;                           // the row cursor's command text: the table the rewrites append to
  bool open_without_entries = false;                // opened also when no promotion is logged
  std::function<void()> before_rewrites = nullptr;  // schema upkeep the lines need
};

// Takes the logged deletions, dropping their lines; then marks and lists the additions and changes
// and rewrites each promotion whole (rewrite_promotion); the log's entries go as the change log
// protocol says.
void take_marked_promotions(RunContext& ctx, const MarkedPromotions& kind);

// A kind's full update by date: today's lines, the table kept, the lines ended before today purged.
struct CurrentPromotions {
  std::vector<std::string> line_query;  // the lines current today
  std::function<void()> keep_table;     // schema upkeep before the purge
  std::string purge;                    // drops the lines that ended before today
  std::string lookup;                   // a line by promotion and line, '?' for each
  PromotionTable promotions;
};

// Fetches today's lines, keeps the table, purges (whatever the answer), and upserts every line;
// a line that fails is reported and the others go on.
void refresh_current_promotions(RunContext& ctx, const CurrentPromotions& kind);

// Every line of `lines` upserted with `lookup`, a SELECT with '?' for MASTERBILLID and TEMPPRODID,
// through the row cursor: an existing line is edited, a new one appended.
void upsert_promotion_lines(RunContext& ctx, RowSet& lines, OnRowError on_error, const std::string& lookup,
                            const PromotionTable& promotions);

}  // namespace pos

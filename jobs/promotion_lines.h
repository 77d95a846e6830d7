#pragma once
// The shape the three promotion kinds share: a promotion is a header joined with its lines, kept
// locally as one row per line (the header repeated). A changes update rewrites a logged promotion
// whole; a full update upserts the current lines by promotion and line.

#include <initializer_list>
#include <span>
#include <string>
#include <vector>

#include "jobs/column_mapping.h"
#include "jobs/row_loop.h"
#include "jobs/run_context.h"

namespace pos {

struct PromotionTable {
  const char* table;                   // the local table, one row per line
  std::span<const ColumnMap> mapping;  // answer line -> local row
};

// One logged promotion `id`: fetches its lines with `query` into ClientDataSet1. When there are
// any, `drop` (a local DELETE of the promotion's lines, with '?' for `id`) and every fetched line
// appended to the open CDS_Query1 take effect as one unit of work; when there are none, the local
// lines stay.
void rewrite_promotion(RunContext& ctx, const std::string& id, std::vector<std::string> query, const std::string& drop,
                       const PromotionTable& promotions);

// Every line of `lines` upserted with `lookup`, a SELECT with '?' for MASTERBILLID and TEMPPRODID,
// through CDS_Query1: an existing line is edited, a new one appended.
void upsert_promotion_lines(RunContext& ctx, RowSet& lines, OnRowError on_error, const std::string& lookup,
                            const PromotionTable& promotions);

}  // namespace pos

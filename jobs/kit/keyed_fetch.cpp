#include "jobs/kit/keyed_fetch.h"

#include "jobs/kit/service_steps.h"
#include "service/data_mod_http.h"
#include "text/sql_text.h"

namespace pos {

KeyedFetch::KeyedFetch(RunContext& ctx, const char* key_field, Query query, Lines before_request)
    : ctx_(ctx),
      key_field_(key_field),
      query_(std::move(query)),
      before_request_(std::move(before_request)),
      batched_(ctx.DataModHttp.batch_requests()) {}

void KeyedFetch::request(RowSet& answer, const std::string& condition) {
  std::vector<std::string> lines = query_(condition);
  if (before_request_) before_request_(lines);
  service_query(ctx_, answer, std::move(lines));
}

void KeyedFetch::prefetch(const std::vector<std::string>& keys) {
  asked_.clear();
  rows_.clear();
  if (!batched_ || keys.empty()) return;
  for (const auto& k : keys) asked_.insert(upper_service_sql(k));
  request(chunk_, " IN " + sql_list(keys));
  const std::size_t col = chunk_.field_index(key_field_);
  for (std::size_t r = 0; r < chunk_.row_count(); ++r)
    rows_[upper_service_sql(chunk_.value_at(r, col).as_text())].push_back(r);
}

std::vector<std::string> KeyedFetch::prefetched_keys() const {
  std::vector<std::string> keys;
  if (asked_.empty()) return keys;
  std::unordered_set<std::string> seen;
  const std::size_t col = chunk_.field_index(key_field_);
  for (std::size_t r = 0; r < chunk_.row_count(); ++r) {
    std::string k = chunk_.value_at(r, col).as_text();
    if (seen.insert(k).second) keys.push_back(std::move(k));
  }
  return keys;
}

void KeyedFetch::fetch(RowSet& answer, const std::string& key) {
  const std::string upper = upper_service_sql(key);
  if (!asked_.count(upper)) {
    request(answer, " = " + sql_quoted(key));
    return;
  }
  const auto found = rows_.find(upper);
  answer.copy_rows(chunk_, found == rows_.end() ? std::vector<std::size_t>{} : found->second);
}

}  // namespace pos

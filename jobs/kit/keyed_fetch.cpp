#include "jobs/kit/keyed_fetch.h"

#include "jobs/kit/row_loop.h"
#include "jobs/kit/service_steps.h"
#include "service/data_mod_http.h"
#include "service/service_errors.h"
#include "text/sql_text.h"

namespace pos {

namespace {

bool has_small_letters(const std::string& key) { return upper_service_sql(key) != key; }

std::string_view without_trailing_blanks(std::string_view key) {
  while (!key.empty() && key.back() == ' ') key.remove_suffix(1);
  return key;
}

// A key as a chunk's answer names it: head office compared the upper-cased statement.
std::string as_matched(std::string_view key) { return upper_service_sql(without_trailing_blanks(key)); }

// The query endpoint turns every CR LF into a blank: such a key would ask for another.
bool fetchable(const std::string& key) { return key.find("\r\n") == std::string::npos; }

}  // namespace

KeyedFetch::KeyedFetch(RunContext& ctx, KeyedQuery query)
    : ctx_(ctx), q_(std::move(query)), batched_(ctx.service.batch_requests()) {}

void KeyedFetch::request(RowSet& answer, const std::string& condition) {
  std::vector<std::string> lines = q_.lines(condition);
  if (q_.before_request) q_.before_request(lines);
  service_query(ctx_, answer, std::move(lines));
}

void KeyedFetch::prefetch(const std::vector<std::string>& keys) {
  asked_.clear();
  rows_.clear();
  if (!batched_) return;
  std::vector<std::string> plain;
  for (const auto& k : keys)
    if (!has_small_letters(k) && fetchable(k)) plain.push_back(k);
  if (plain.empty()) return;
  try {
    request(chunk_, std::string(q_.column) + " IN " + sql_list(plain));
  } catch (const ServiceAnswerError&) {
    chunk_.clear();
    return;  // each key is asked for on its own, so that only the one head office cannot answer fails
  }
  for (const auto& k : plain) asked_.insert(as_matched(k));
  const std::size_t col = chunk_.field_index(q_.key_field);
  for (std::size_t r = 0; r < chunk_.row_count(); ++r)
    rows_[as_matched(chunk_.value_at(r, col).as_text())].push_back(r);
}

std::vector<std::string> KeyedFetch::prefetched_keys() const {
  std::vector<std::string> keys;
  if (asked_.empty()) return keys;
  std::unordered_set<std::string> seen;
  const std::size_t col = chunk_.field_index(q_.key_field);
  for (std::size_t r = 0; r < chunk_.row_count(); ++r) {
    std::string k = chunk_.value_at(r, col).as_text();
    if (seen.insert(k).second) keys.push_back(std::move(k));
  }
  return keys;
}

void KeyedFetch::fetch(RowSet& answer, const std::string& key) {
  if (!fetchable(key)) throw RowFailed("the key holds a line break, which the query endpoint would turn into a blank");
  try {
    if (has_small_letters(key)) {
      fetch_alone(answer, key);
      return;
    }
    const std::string matched = as_matched(key);
    if (asked_.count(matched)) {
      const auto found = rows_.find(matched);
      if (found != rows_.end() || !q_.ask_again) {
        answer.copy_rows(chunk_, found == rows_.end() ? std::vector<std::size_t>{} : found->second);
        return;
      }
    }
    request(answer, std::string(q_.column) + " = " + sql_quoted(key));
  } catch (const ServiceAnswerError& e) {
    throw RowFailed(std::string(error_answer_message(e.what())));
  }
}

// The upper-casing cannot change "UPPER(column) = 'KEY'". Of its rows, those of the key itself;
// without such a row, those of the upper-cased key, which the statement as written asked for.
void KeyedFetch::fetch_alone(RowSet& answer, const std::string& key) {
  request(alone_, "UPPER(" + std::string(q_.column) + ") = " + sql_quoted(upper_service_sql(key)));
  std::vector<std::size_t> rows;
  for (const std::string& want : {key, upper_service_sql(key)}) {
    if (alone_.row_count() == 0) break;
    const std::size_t col = alone_.field_index(q_.key_field);
    for (std::size_t r = 0; r < alone_.row_count(); ++r)
      if (without_trailing_blanks(alone_.value_at(r, col).as_text()) == without_trailing_blanks(want))
        rows.push_back(r);
    if (!rows.empty()) break;
  }
  answer.copy_rows(alone_, rows);
}

}  // namespace pos

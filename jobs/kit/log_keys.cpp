#include "jobs/kit/log_keys.h"

#include <algorithm>

#include "jobs/kit/change_log.h"
#include "text/sql_text.h"

namespace pos {

std::vector<std::string> next_chunk_keys(const RowSet& list, const char* key) {
  const std::size_t col = list.field_index(key);
  std::vector<std::string> keys;
  for (std::size_t r = list.recno() - 1; r < list.row_count() && r < list.recno() - 1 + kKeysPerRemoval; ++r) {
    std::string k = list.value_at(r, col).as_text();
    if (fits(k)) keys.push_back(std::move(k));
  }
  std::sort(keys.begin(), keys.end());
  keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
  return keys;
}

// The statement transport upper-cases the whole text, so that a key with small letters would
// name no entry: such a removal goes as a script, as it is.
void remove_named(RunContext& ctx, const ServiceStatement& remove, const char* key,
                  const std::vector<std::string>& keys) {
  if (keys.empty()) return;
  ServiceStatement named{remove.transport, naming_keys(remove.text, key, keys)};
  const bool upper_case_changes_a_key =
      std::any_of(keys.begin(), keys.end(), [](const std::string& k) { return upper_service_sql(k) != k; });
  if (named.transport == Transport::Statement && upper_case_changes_a_key) named.transport = Transport::Script;
  send(ctx, named);
}

void remove_named_in_chunks(RunContext& ctx, const ServiceStatement& remove, const char* key,
                            const std::vector<std::string>& keys) {
  for (std::size_t i = 0; i < keys.size(); i += kKeysPerRemoval) {
    const auto end = keys.begin() + static_cast<std::ptrdiff_t>(std::min(keys.size(), i + kKeysPerRemoval));
    remove_named(ctx, remove, key, {keys.begin() + static_cast<std::ptrdiff_t>(i), end});
  }
}

std::set<std::string> apply_each(RunContext& ctx, RowSet& list, const RowLoop& loop, const char* key,
                                 const std::function<void()>& apply) {
  std::set<std::string> failed;
  for_each_row(ctx, list, loop, [&] {
    const std::string k = list.text(key);
    const JobCounters before = ctx.count();
    try {
      apply();
    } catch (...) {
      failed.insert(k);
      throw;
    }
    if (ctx.count().faults_since(before)) failed.insert(k);
  });
  return failed;
}

std::string naming_keys(const std::string& remove, const char* key, const std::vector<std::string>& keys) {
  const std::string in = std::string("AND ") + key + " IN " + sql_list(keys) + " ";
  std::string out = remove;
  const auto semicolon = out.find_last_not_of(" \r\n");
  if (semicolon != std::string::npos && out[semicolon] == ';') {
    out.insert(semicolon, in);
  } else {
    if (!out.ends_with(' ')) out += ' ';
    out += in;
  }
  return out;
}

}  // namespace pos

#include "jobs/kit/log_keys.h"

#include <algorithm>

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

namespace {

// The statement transport upper-cases a text, turns each CR LF into a blank and each ';' into '-'.
bool changed_as_a_statement(const std::string& key) {
  return upper_service_sql(key) != key || key.find_first_of(";\r\n") != std::string::npos;
}

// A removal naming `keys`. One that the statement transport would change goes as a script,
// upper-cased as a statement would have been but for its key list.
void send_named(RunContext& ctx, const ServiceStatement& remove, const char* key,
                const std::vector<std::string>& keys) {
  if (remove.transport == Transport::Statement && std::any_of(keys.begin(), keys.end(), changed_as_a_statement)) {
    send(ctx, {Transport::Script, naming_keys(upper_service_sql(remove.text), key, keys)});
    return;
  }
  send(ctx, {remove.transport, naming_keys(remove.text, key, keys)});
}

}  // namespace

// A key holding a line break breaks a script's line as well: such keys go in a removal of their
// own, so that the others' still goes through, and its unconfirmed answer is counted.
void remove_named(RunContext& ctx, const ServiceStatement& remove, const char* key,
                  const std::vector<std::string>& keys) {
  std::vector<std::string> plain, broken;
  for (const auto& k : keys) (k.find_first_of("\r\n") == std::string::npos ? plain : broken).push_back(k);
  if (!plain.empty()) send_named(ctx, remove, key, plain);
  if (!broken.empty()) send_named(ctx, remove, key, broken);
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

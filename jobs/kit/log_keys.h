#pragma once
// What both ways of following a change log share: the keys of a chunk, removals that name them,
// and applying a list while noting the keys whose rows failed.

#include <cstddef>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "jobs/kit/row_loop.h"
#include "jobs/kit/run_context.h"
#include "jobs/kit/service_steps.h"

namespace pos {

inline constexpr std::size_t kKeysPerRemoval = kChunkRows;
inline constexpr std::size_t kMostKeyBytes = 80;  // POS_TAKEN_KEYS.KEY_VALUE

inline bool fits(const std::string& key) { return key.size() <= kMostKeyBytes; }

// The keys of the list's next chunk (from its current row) that can be remembered, each once,
// the list not moved. A longer key is left to its row, which fails.
std::vector<std::string> next_chunk_keys(const RowSet& list, const char* key);

// Sends `remove` limited to `keys`. One that the statement transport would change (small letters,
// ';' or a line break in a key) goes as a script; keys with a line break go in one of their own.
void remove_named(RunContext& ctx, const ServiceStatement& remove, const char* key,
                  const std::vector<std::string>& keys);

// `remove` limited to `keys`, a removal per chunk.
void remove_named_in_chunks(RunContext& ctx, const ServiceStatement& remove, const char* key,
                            const std::vector<std::string>& keys);

// `remove` limited to `keys`: " AND <key> IN ('k1', ...)" before its closing ";", or at its end.
std::string naming_keys(const std::string& remove, const char* key, const std::vector<std::string>& keys);

// Runs `apply` for each row of `list` from its current one with `loop`; returns the keys of the
// rows that failed or were refused. An error that ends the loop passes on.
std::set<std::string> apply_each(RunContext& ctx, RowSet& list, const RowLoop& loop, const char* key,
                                 const std::function<void()>& apply);

}  // namespace pos

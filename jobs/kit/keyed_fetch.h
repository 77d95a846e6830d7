#pragma once
// The rows of one key from head office: a request per key, as the jobs' statements have it, or,
// when the terminal batches its requests (batch=1 in httpset.ini), the rows of a whole chunk of
// keys in one request, handed out key by key in the same form. Either way a key's rows are those
// whose key field, upper-cased, is the key upper-cased, as the service compares the upper-cased
// query.

#include <functional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "jobs/kit/run_context.h"

namespace pos {

class KeyedFetch {
 public:
  using Query = std::function<std::vector<std::string>(const std::string& condition)>;
  using Lines = std::function<void(const std::vector<std::string>& lines)>;

  // `query(condition)`: the job's query with `condition` after its key column: " = 'K'" for one
  // key, " IN ('K1', 'K2')" for a chunk. `key_field`: the answer field that holds the key.
  // `before_request` sees each query's lines before it is sent (e.g. to save them).
  KeyedFetch(RunContext& ctx, const char* key_field, Query query, Lines before_request = nullptr);

  bool batched() const { return batched_; }

  // With batched requests: fetches the rows of `keys` in one request. Otherwise nothing.
  void prefetch(const std::vector<std::string>& keys);
  // The key field of every prefetched row, in the answer's order, each once.
  std::vector<std::string> prefetched_keys() const;

  // Loads the rows of `key` into `answer`, standing on the first: from the prefetched chunk when
  // the chunk asked for it, else by a request of its own.
  void fetch(RowSet& answer, const std::string& key);

 private:
  void request(RowSet& answer, const std::string& condition);

  RunContext& ctx_;
  const char* key_field_;
  Query query_;
  Lines before_request_;
  bool batched_;
  RowSet chunk_;
  std::unordered_set<std::string> asked_;                           // upper-cased
  std::unordered_map<std::string, std::vector<std::size_t>> rows_;  // upper-cased key -> rows of chunk_
};

}  // namespace pos

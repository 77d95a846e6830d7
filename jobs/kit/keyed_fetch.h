#pragma once
// The rows of one key from head office: a request per key, as the jobs' statements have it, or,
// when the terminal batches its requests (batch=1 in httpset.ini), the rows of a whole chunk of
// keys in one request, handed out key by key in the same form.
//
// Keys are matched as head office compares them: trailing blanks of an answer's key are ignored
// (CHAR columns pad), and the letter case is the statement's. The query endpoint upper-cases a
// statement, so a key with small letters is asked for on its own as "UPPER(<column>) = 'KEY'", and
// the answer rows of exactly that key are kept (or, when there are none, those of the upper-cased
// key, which the statement as written asked for); every other key goes as the job wrote it. A
// key that cannot be fetched as it is, or whose fetch head office answers with an error, fails its
// row (RowFailed), so that the row loop reports it and its change-log entry is kept.

#include <functional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "jobs/kit/run_context.h"

namespace pos {

struct KeyedQuery {
  const char* key_field;  // the answer field that holds the key
  const char* column;     // the key as the query names it ("PROD_ID", "A.MEMBER_ID")
  // The query's lines, `condition` selecting the rows: "PROD_ID = 'P1'", "PROD_ID IN ('P1', 'P2')".
  std::function<std::vector<std::string>(const std::string& condition)> lines;
  // Batched: a key that its chunk's answer lacks is asked for again on its own before it counts as
  // absent. Off where most keys have no rows (a member's sub-cards).
  bool ask_again = true;
  // Sees each request's lines before it is sent (e.g. to save them).
  std::function<void(const std::vector<std::string>&)> before_request = nullptr;
};

class KeyedFetch {
 public:
  KeyedFetch(RunContext& ctx, KeyedQuery query);

  bool batched() const { return batched_; }

  // With batched requests: fetches the rows of `keys` in one request (keys with small letters are
  // left to their own). A chunk that head office answers with an error is fetched key by key.
  // Otherwise nothing.
  void prefetch(const std::vector<std::string>& keys);
  // The key field of every prefetched row, in the answer's order, each once.
  std::vector<std::string> prefetched_keys() const;

  // Loads the rows of `key` into `answer`, standing on the first: from the prefetched chunk when
  // the chunk asked for it, else by a request of its own. Throws RowFailed as above.
  void fetch(RowSet& answer, const std::string& key);

 private:
  void request(RowSet& answer, const std::string& condition);
  void fetch_alone(RowSet& answer, const std::string& key);

  RunContext& ctx_;
  KeyedQuery q_;
  bool batched_;
  RowSet chunk_;
  RowSet alone_;                                                    // a key with small letters
  std::unordered_set<std::string> asked_;                           // keys as matched
  std::unordered_map<std::string, std::vector<std::size_t>> rows_;  // key as matched -> rows of chunk_
};

}  // namespace pos

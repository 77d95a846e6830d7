#pragma once
// Head office's edits during the chain run: at an even pace over each interval, commits that change
// products and members (each change's version written into the row, see ChangeLedger) and log every
// change for every terminal with one bulk insert per change log, in the same transaction.

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "bench/fleet/change_ledger.h"
#include "headoffice/storage/database.h"

namespace pos::fleet {

struct WritePace {
  int products = 1000;  // changed per interval
  int members = 200;
  int commits = 30;  // per interval, evenly spaced
  double interval_s = 300;
};

class ChainWriter {
 public:
  ChainWriter(headoffice::Database& db, ChangeLedger& ledger, std::vector<std::string> products,
              std::vector<std::string> members, std::vector<std::string> terminals, WritePace pace);

  // Writes until `stop` is set (checked between commits).
  void run(const std::atomic<bool>& stop);

  std::atomic<std::int64_t> logged{0};  // change-log rows committed
  std::atomic<std::int64_t> errors{0};
  std::atomic<double> cpu{0};   // the writer thread's CPU seconds
  std::atomic<double> late{0};  // the most a commit began after its time, in seconds
  std::string first_error;      // read after run returns

 private:
  void commit_one(headoffice::Connection& c, int index);

  headoffice::Database& db_;
  ChangeLedger& ledger_;
  std::vector<std::string> products_, members_, terminals_;
  WritePace pace_;
  std::uint64_t random_ = 0x9e3779b97f4a7c15ull;
};

}  // namespace pos::fleet

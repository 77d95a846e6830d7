#include "bench/fleet/chain_writer.h"

#include <chrono>
#include <set>
#include <thread>

#include "bench/fleet/process_cpu.h"

namespace pos::fleet {
namespace {

using Clock = std::chrono::steady_clock;

// The part of `total` that falls to commit `index` of `per`, so that every interval adds up to it.
int share(int total, int per, int index) {
  const auto at = [&](int i) { return static_cast<int>(static_cast<long long>(total) * i / per); };
  return at(index % per + 1) - at(index % per);
}

}  // namespace

ChainWriter::ChainWriter(headoffice::Database& db, ChangeLedger& ledger, std::vector<std::string> products,
                         std::vector<std::string> members, std::vector<std::string> terminals, WritePace pace)
    : db_(db),
      ledger_(ledger),
      products_(std::move(products)),
      members_(std::move(members)),
      terminals_(std::move(terminals)),
      pace_(pace) {}

void ChainWriter::run(const std::atomic<bool>& stop) {
  auto c = db_.connect();
  const auto start = Clock::now();
  const double every = pace_.interval_s / pace_.commits;
  for (int i = 0; !stop; ++i) {
    const auto due = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(every * i));
    while (!stop && Clock::now() < due) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (stop) break;
    late = std::max(late.load(), std::chrono::duration<double>(Clock::now() - due).count());
    try {
      commit_one(*c, i);
    } catch (const std::exception& e) {
      if (errors++ == 0) first_error = e.what();
      try {
        c->rollback();
      } catch (const std::exception&) {
        c = db_.connect();
      }
    }
    cpu = thread_cpu();
  }
}

void ChainWriter::commit_one(headoffice::Connection& c, int index) {
  // Keys without repeats within a commit, from a generator of our own (xorshift), so runs repeat.
  const auto pick = [&](const std::vector<std::string>& from, int n) {
    std::set<std::size_t> chosen;
    while (static_cast<int>(chosen.size()) < std::min<int>(n, static_cast<int>(from.size()))) {
      random_ ^= random_ << 13;
      random_ ^= random_ >> 7;
      random_ ^= random_ << 17;
      chosen.insert(static_cast<std::size_t>(random_ % from.size()));
    }
    std::vector<std::string> keys;
    for (const auto i : chosen) keys.push_back(from[i]);
    return keys;
  };
  const std::vector<std::string> products = pick(products_, share(pace_.products, pace_.commits, index));
  const std::vector<std::string> members = pick(members_, share(pace_.members, pace_.commits, index));
  if (products.empty() && members.empty()) return;

  std::vector<std::string> keys = products;
  keys.insert(keys.end(), members.begin(), members.end());
  const std::vector<std::uint32_t> versions = ledger_.begin_changes(keys);
  headoffice::Transaction tx(c);
  std::int64_t rows = 0;
  const auto change = [&](const std::vector<std::string>& changed, std::size_t first_version, const char* update,
                          const char* log, const char* key) {
    for (std::size_t i = 0; i < changed.size(); ++i) {
      const Value params[] = {Value(std::to_string(versions[first_version + i])), Value(changed[i])};
      c.execute(update, params, nullptr);
    }
    if (changed.empty()) return;
    const std::string columns[] = {"MCH_NO", key, "STATE"};
    auto insert = c.bulk_insert(log, columns);
    for (const auto& t : terminals_)
      for (const auto& k : changed) {
        const Value entry[] = {Value(t), Value(k), Value(std::string("UPDATE"))};
        insert->add(entry);
        ++rows;
      }
    insert->finish();
  };
  change(products, 0, "UPDATE PRODUCT SET SALE_PRICE = SALE_PRICE + 1, PUT_ID = ? WHERE PROD_ID = ?", "PRODUCT_TEMP",
         "PROD_ID");
  change(members, products.size(), "UPDATE MEMBER SET NOTE = ? WHERE MEMBER_ID = ?", "MEMBER_TEMP", "MEMBER_ID");
  tx.commit();
  ledger_.committed(versions);
  logged += rows;
}

}  // namespace pos::fleet

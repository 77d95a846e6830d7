#include "jobs/kit/run_job.h"

#include <chrono>

#include "jobs/kit/commit_batcher.h"
#include "localdb/errors.h"
#include "service/data_mod_http.h"

namespace pos {

void run_job(const JobEntry& entry, RunContext& ctx, JobCounters& counters) {
  if (!entry.run) return;
  const auto started = std::chrono::steady_clock::now();
  counters.ran = true;
  CommitBatcher batch(ctx.local);
  batch.count_written(&counters.written);  // only committed rows count as written
  ctx.batch = &batch;
  ctx.counters = &counters;
  // While the job waits on the service, a batch that grows old is committed.
  HttpClient& http = ctx.service.http();
  http.while_waiting = [&batch] {
    try {
      batch.commit_if_due();
    } catch (...) {
      // the next local statement meets the same fault and reports it
    }
  };
  auto finish = [&] {
    http.while_waiting = nullptr;
    ctx.batch = nullptr;
    ctx.counters = nullptr;
    counters.seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  };
  ctx.log.append(entry.first_line);
  try {
    entry.run(ctx);
    batch.commit();
  } catch (const LocalDatabaseFailed&) {
    finish();
    throw;
  } catch (...) {
    try {
      batch.commit();  // the rows done before the failure stay
    } catch (...) {
    }
    finish();
    throw;
  }
  finish();
}

}  // namespace pos

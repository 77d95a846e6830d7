#include "jobs/kit/row_loop.h"

#include <set>

#include "jobs/kit/commit_batcher.h"
#include "jobs/kit/report_lines.h"
#include "localdb/errors.h"
#include "service/run_stop.h"
#include "service/service_errors.h"

namespace pos {

namespace {

void report(RunContext& ctx, const RowLoop& loop, const std::string& key, const std::string& message) {
  if (loop.on_error == OnRowError::LogDataError) {
    ctx.log.append(key + "Data Error...!");
    ctx.log.append(reason_line(message));
  } else {
    ctx.log.append(failed_row_line(loop.table, key, message));
  }
}

// The row's name in the log; a row without the key field is named by its number.
std::string key_of(const RowSet& answer, const char* field) {
  if (answer.find_field(field)) return answer.text(field);
  return "#" + std::to_string(answer.recno());
}

}  // namespace

void start_progress(RunContext& ctx, const RowSet& answer) {
  ctx.progress.set_max(static_cast<int>(answer.row_count()));
  ctx.progress.set_min(0);
}

void for_each_row(RunContext& ctx, RowSet& answer, const RowLoop& loop, const std::function<void()>& body) {
  JobCounters& n = ctx.count();
  CommitBatcher& batch = ctx.batcher();
  if (loop.progress) start_progress(ctx, answer);
  std::size_t done = 0;
  for (; !answer.eof() && (loop.max_rows == 0 || done < loop.max_rows); answer.next(), ++done) {
    stop_point();
    if (loop.progress) ctx.progress.set_position(static_cast<int>(answer.recno()));
    ++n.fetched;
    try {
      batch.begin_row();
      body();
      batch.row_done();
    } catch (const SilentAbort&) {
      throw;  // the service is gone and has said so
    } catch (const LocalDatabaseFailed& e) {
      if (loop.on_error == OnRowError::LogDataError) report(ctx, loop, key_of(answer, loop.key), e.what());
      ++n.failed;
      throw;
    } catch (const RowRefused& e) {
      ++n.refused;
      if (loop.on_error == OnRowError::LogDataError)
        report(ctx, loop, key_of(answer, loop.key), e.what());
      else
        ctx.log.append(refused_row_line(e.table(), key_of(answer, loop.key), e.what()));
    } catch (const RowFailed& e) {
      ++n.failed;
      report(ctx, loop, key_of(answer, loop.key), e.what());
    } catch (const std::exception& e) {
      if (loop.on_error == OnRowError::EndRun) throw;
      ++n.failed;
      report(ctx, loop, key_of(answer, loop.key), e.what());
    }
  }
}

void for_each_row_in_chunks(RunContext& ctx, RowSet& answer, const RowLoop& loop, const char* key,
                            const std::function<void(const std::vector<std::string>&)>& before_chunk,
                            const std::function<void()>& body) {
  RowLoop chunk = loop;
  chunk.max_rows = kChunkRows;
  const std::size_t col = answer.field_index(key);
  while (!answer.eof()) {
    std::vector<std::string> keys;
    std::set<std::string> seen;
    for (std::size_t r = answer.recno() - 1; r < answer.row_count() && r < answer.recno() - 1 + kChunkRows; ++r) {
      std::string k = answer.value_at(r, col).as_text();
      if (seen.insert(k).second) keys.push_back(std::move(k));
    }
    before_chunk(keys);
    for_each_row(ctx, answer, chunk, body);
  }
}

}  // namespace pos

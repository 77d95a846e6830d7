#pragma once
// The forms in which jobs write local rows: a row through a table cursor (upsert or append),
// and a table, or a part of one, emptied and filled again as one unit of work.

#include <functional>
#include <initializer_list>
#include <span>
#include <string>

#include "jobs/kit/column_mapping.h"
#include "jobs/kit/row_loop.h"
#include "jobs/kit/run_context.h"
#include "localdb/errors.h"

namespace pos {

// Posts the cursor's row and applies it to the local database at once. Counts it as written;
// throws RowRefused when the database refuses it.
void apply_row(RunContext& ctx, TableCursor& cursor);

// Opens `cursor` on `lookup` (a SELECT on one local table, with '?' for `keys`), edits the first
// row found or appends one, sets the mapped columns from the answer's current row, posts and
// applies. A lookup with keys is prepared once for all rows; one with its values in the text is
// prepared for each.
void upsert(RunContext& ctx, TableCursor& cursor, const std::string& lookup, std::span<const ColumnMap> mapping,
            const RowSet& answer, std::vector<Value> keys = {});

// The same through the job's row cursor.
void upsert(RunContext& ctx, const std::string& lookup, std::span<const ColumnMap> mapping, const RowSet& answer,
            std::vector<Value> keys = {});

// Appends a row to the open cursor, sets the mapped columns from the answer's current row, posts
// and applies.
void append_row(RunContext& ctx, TableCursor& cursor, std::span<const ColumnMap> mapping, const RowSet& answer);

// The same on the job's row cursor, opened on the table.
void append_row(RunContext& ctx, std::span<const ColumnMap> mapping, const RowSet& answer);

// Runs the local statement of `lines`, with named parameters, once for each answer row from the
// current one on (through the local statement object, with `loop`), the parameters set by `parameters`.
void insert_each_row(RunContext& ctx, RowSet& answer, const RowLoop& loop, std::initializer_list<std::string> lines,
                     std::span<const ColumnMap> parameters);

// Closes `cursor`, sets its command text (with '?' for `keys`, compared whole) and opens it.
void open_cursor(TableCursor& cursor, const std::string& command_text, std::vector<Value> keys = {});

// Runs `empty` (a local DELETE) and then `fill` as one unit of local work: the table is never seen
// empty or half filled. A row that the database refuses is reported and left out, and the other
// rows replace the table; an error that ends the fill (a value a column cannot take, a lost
// connection, a stop) leaves the rows as they were, and the log says so. Fetch before calling
// it, so that the table is locked only while it is written.
void refill(RunContext& ctx, const std::string& table, std::initializer_list<std::string> empty,
            const std::function<void()>& fill);
// The same with the emptying done by `empty`.
void refill(RunContext& ctx, const std::string& table, const std::function<void()>& empty,
            const std::function<void()>& fill);

// Replaces the rows of one thing (`id`, e.g. a promotion) in `table`: `drop` and `fill` take
// effect as one unit of local work, and only whole: when a row is refused (it is in the log) or an
// error ends the fill, the old rows stay. Returns false when refused rows undid the work.
bool replace_whole(RunContext& ctx, const std::string& table, const std::string& id, const std::function<void()>& drop,
                   const std::function<void()>& fill);

}  // namespace pos

#pragma once
// What a changes update sends head office, job by job. Each text is written once, in its job's
// file, and the job sends it from there; declared here for what must send the same without a
// terminal database (the fleet benchmark's simulated terminals). `machine` is MachineNo.

#include <string>
#include <vector>

#include "jobs/kit/change_log.h"
#include "jobs/kit/keyed_fetch.h"
#include "jobs/kit/marked_change_log.h"
#include "jobs/kit/promotions.h"

namespace pos {

using QueryLines = std::vector<std::string>;

// LoggedKeys (change_log.h): a change log followed by read, remove, apply (take_change_log), or one
// whose entries are only listed and removed by name (remove_listed; taken_as is then null).
// MarkedLines (promotions.h): a promotion kind's marked change log and the query of its lines.

// The run's opening check: the terminal's own machine row.
QueryLines opening_check_query(const std::string& machine);

// Job 0: the categories, the designated top category, then the product change log.
QueryLines categories_query();
QueryLines designated_top_query(const std::string& machine);
LoggedKeys deleted_products(const std::string& machine);
LoggedKeys changed_products(const std::string& machine);
KeyedQuery product_query(const std::string& top);  // `top`: the designated top category, or empty

// Jobs 1, 2, 4 (two queries) and 5.
QueryLines staff_query();
QueryLines shifts_query();
std::vector<QueryLines> invoice_word_queries(const std::string& machine);
QueryLines bundles_query();

// Job 6.
MarkedLines sales_promotion_log(const std::string& machine);

// Job 7: deletions, changes (each member's row, then its sub-cards), entries of other states, then
// the class discounts.
LoggedKeys deleted_members(const std::string& machine);
LoggedKeys changed_members(const std::string& machine);
KeyedQuery member_query();
KeyedQuery sub_card_query();
LoggedKeys other_member_entries(const std::string& machine);
QueryLines class_discounts_query();

// Job 8.
MarkedLines any_choice_log(const std::string& machine);

// Jobs 9, 10 (two queries) and 11.
QueryLines machines_query();
std::vector<QueryLines> keyboard_queries();
QueryLines discount_levels_query();

// Job 12: the points settings from `today` ("YYYY/MM/DD"), then the gift promotions.
QueryLines points_query(const std::string& today);
MarkedLines gift_log(const std::string& machine);

// Job 14.
QueryLines card_stops_query();

}  // namespace pos

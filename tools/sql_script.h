#pragma once
// Splits an SQL file into statements: each ends with ';' at the end of a line; lines that
// start with "--" are comments.

#include <string>
#include <vector>

namespace pos {

std::vector<std::string> split_sql_script(const std::string& script);

}  // namespace pos

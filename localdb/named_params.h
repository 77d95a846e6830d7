#pragma once
// Named parameters (":NAME") in SQL text.

#include <string>
#include <vector>

namespace pos {

struct ParsedSql {
  std::string sql;                 // the text with every parameter replaced by '?'
  std::vector<std::string> names;  // one per '?', in order, upper case
};

// Replaces each ":NAME" outside quotes and comments by '?'. A name is letters, digits, '_' and '$'.
ParsedSql parse_named_params(const std::string& sql);

}  // namespace pos

#pragma once
// The kind of an incoming statement, judged by its first word.

#include <string>
#include <string_view>

namespace pos::headoffice {

// The first word in upper case ("SELECT", "UPDATE", ...), skipping blanks, opening
// parentheses and comments; empty when there is none.
std::string statement_kind(std::string_view sql);

// Reads (SELECT, WITH) and row changes (INSERT, UPDATE, DELETE) are what terminals send;
// anything else (DDL, PRAGMA, ATTACH, transaction control) is refused.
bool statement_allowed(std::string_view kind);

}  // namespace pos::headoffice

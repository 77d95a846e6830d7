#pragma once
// Every statement shape the terminal's jobs send, one line each: what a signed-in terminal may
// run. A line is written as the service receives the statement, apart from letter case and runs
// of blanks, which do not count (see statement_shape.h), with these holes:
//   {machine}  a quoted value that must be the signed-in terminal's own machine number
//   {value}    any one quoted value (a key, a date, a category)
//   {values}   a list of quoted values: ('K1', 'K2', ...)
// and fragments that several lines share, such as {product columns} (see the .cpp).
//
// To add a shape: one line in statement_catalogue.cpp, in its job's group. The catalogue test
// fails until some job sends it, and fails for anything a job sends that no line has; it also
// fails unless each run begins with the line marked RunMark::Opens and ends with the one marked
// RunMark::Ends (a job appended to the list takes that mark).

#include <span>
#include <string>
#include <string_view>

namespace pos::headoffice {

// Where a statement arrives: the query endpoint (one statement, upper-cased by the terminal) or
// the script endpoint (a line of a script, as the job wrote it).
enum class Endpoint : unsigned { Query = 1, Script = 2 };

// Where a run stands at a line's statement, for head office's status records: a run's first
// statement opens it (and comes again within it), and its last job's statement ends it.
enum class RunMark { None, Opens, Ends };

struct CatalogueLine {
  unsigned endpoints;     // Endpoint bits; a removal of keys goes to either
  std::string_view job;   // who sends it, for messages
  std::string_view text;  // the shape, holes and fragments included
  RunMark mark = RunMark::None;
};

std::span<const CatalogueLine> statement_catalogue();

// `line.text` with its fragments written out (the holes stay).
std::string expanded_text(const CatalogueLine& line);

bool reaches(const CatalogueLine& line, Endpoint e);

}  // namespace pos::headoffice

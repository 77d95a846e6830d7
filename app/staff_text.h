#pragma once
// What staff in the window read when a run ends early: a sentence in Chinese that says what happened
// and what to do, with the technical text after it. The log files keep the raw text.

#include <exception>
#include <string>

namespace pos {

// Big5. For an error that ended a run (an error answer of head office, a lost connection, the local
// database, ...).
std::string staff_text(const std::exception& e);

// Big5. For a run that ended at a connection failure whose box the data module has shown already.
std::string staff_text_connection_lost();

}  // namespace pos

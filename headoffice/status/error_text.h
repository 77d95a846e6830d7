#pragma once
// Error answers as people read them: the protocol's <RESULT> tags left out.

#include <string>
#include <string_view>

namespace pos::headoffice {

// `answer` without a leading "<RESULT>" and a trailing "</RESULT>" (any letter case), and without
// the blanks and line ends around the message.
std::string readable_error(std::string_view answer);

}  // namespace pos::headoffice

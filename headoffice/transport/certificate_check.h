#pragma once
// A look at the service's certificate before serving with it.

#include <ctime>
#include <string>

namespace pos::headoffice {

// A warning when the first certificate in `cert_file` (PEM) is not valid at `now`: expired or
// not yet valid, with the date; empty when it is valid or cannot be read (serving reports that).
std::string certificate_warning(const std::string& cert_file, std::time_t now);

}  // namespace pos::headoffice

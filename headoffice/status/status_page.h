#pragma once
// The fleet's status for people (an HTML page that refreshes itself every minute) and for
// monitoring (JSON), one page of terminals at a time with the whole fleet summed up by state above
// it. Both UTF-8.

#include <string>

#include "headoffice/status/fleet_status.h"

namespace pos::headoffice {

std::string status_json(const FleetStatus& fleet);
std::string status_html(const FleetStatus& fleet);

}  // namespace pos::headoffice

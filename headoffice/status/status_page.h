#pragma once
// The fleet's status for people (an HTML page that refreshes itself every minute, a table on a
// desktop and a card a terminal on a phone) and for monitoring (JSON with the same facts). Both
// UTF-8.

#include <string>

#include "headoffice/status/fleet_status.h"

namespace pos::headoffice {

std::string status_json(const FleetStatus& fleet);
std::string status_html(const FleetStatus& fleet);

}  // namespace pos::headoffice

#include "text/value.h"

#include <cmath>
#include <cstdio>

namespace pos {

std::string format_float(double d) {
  if (d == 0) return "0";
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.15g", d);
  return buf;
}

std::string Value::as_text() const {
  switch (v_.index()) {
    case 1:
      return text();
    case 2:
      return std::to_string(integer());
    case 3:
      return format_float(number());
    default:
      return {};
  }
}

}  // namespace pos

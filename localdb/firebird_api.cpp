#include "localdb/firebird_api.h"

#include "localdb/errors.h"

namespace pos::fb {

Firebird::IMaster* master() {
  static Firebird::IMaster* m = Firebird::fb_get_master_interface();
  return m;
}

Firebird::IUtil* util() { return master()->getUtilInterface(); }

std::string message_of(const Firebird::FbException& e) {
  char buf[2048];
  util()->formatStatus(buf, sizeof buf, e.getStatus());
  std::string text(buf);
  // formatStatus separates the status vector's lines with new lines.
  for (std::size_t p; (p = text.find('\n')) != std::string::npos;) text.replace(p, 1, "; ");
  while (!text.empty() && (text.back() == ' ' || text.back() == ';')) text.pop_back();
  return text;
}

void raise(const Firebird::FbException& e, std::string_view context) {
  std::string msg = message_of(e);
  if (!context.empty()) msg = std::string(context) + ": " + msg;
  throw DbError(msg);
}

}  // namespace pos::fb

#include "localdb/firebird_api.h"

#include <initializer_list>

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

namespace {

// True when the status vector holds one of `codes` (pairs of argument kind and value, ending with
// isc_arg_end; error codes follow isc_arg_gds).
bool holds(const Firebird::FbException& e, std::initializer_list<ISC_STATUS> codes) {
  const ISC_STATUS* s = e.getStatus()->getErrors();
  while (s != nullptr && s[0] != isc_arg_end) {
    if (s[0] == isc_arg_gds)
      for (ISC_STATUS code : codes)
        if (s[1] == code) return true;
    s += s[0] == isc_arg_cstring ? 3 : 2;
  }
  return false;
}

}  // namespace

bool connection_lost(const Firebird::FbException& e) {
  return holds(e, {isc_network_error, isc_net_read_err, isc_net_write_err, isc_conn_lost, isc_lost_db_connection,
                   isc_shutdown, isc_att_shutdown, isc_bad_db_handle, isc_shutinprog});
}

void raise(const Firebird::FbException& e, std::string_view context) {
  std::string msg = message_of(e);
  if (!context.empty()) msg = std::string(context) + ": " + msg;
  // The embedded engine's refusal of a second process is an I/O error too: it comes first.
  if (holds(e, {isc_already_opened})) throw LocalDatabaseInUse(msg);
  if (connection_lost(e)) throw LocalConnectionLost(msg);
  if (holds(e, {isc_login})) throw LocalLoginRefused(msg);
  if (holds(e, {isc_io_error, isc_db_corrupt, isc_bug_check})) throw LocalDatabaseFailed(msg);
  throw DbError(msg);
}

}  // namespace pos::fb

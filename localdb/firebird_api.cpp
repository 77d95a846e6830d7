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

bool connection_lost(const Firebird::FbException& e) {
  // Status vector: pairs of (argument kind, value) ending with isc_arg_end; error codes follow isc_arg_gds.
  static constexpr ISC_STATUS kLost[] = {isc_network_error, isc_net_read_err,       isc_net_write_err,
                                         isc_conn_lost,     isc_lost_db_connection, isc_shutdown,
                                         isc_att_shutdown,  isc_bad_db_handle,      isc_shutinprog};
  const ISC_STATUS* s = e.getStatus()->getErrors();
  while (s != nullptr && s[0] != isc_arg_end) {
    if (s[0] == isc_arg_gds)
      for (ISC_STATUS code : kLost)
        if (s[1] == code) return true;
    s += s[0] == isc_arg_cstring ? 3 : 2;
  }
  return false;
}

void raise(const Firebird::FbException& e, std::string_view context) {
  std::string msg = message_of(e);
  if (!context.empty()) msg = std::string(context) + ": " + msg;
  if (connection_lost(e)) throw LocalConnectionLost(msg);
  throw DbError(msg);
}

}  // namespace pos::fb

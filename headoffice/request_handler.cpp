#include "headoffice/request_handler.h"

#include <vector>

#include "headoffice/packet_sink.h"
#include "headoffice/statement_kind.h"
#include "headoffice/wire_text.h"
#include "text/big5.h"

namespace pos::headoffice {
namespace {

Answer bad_request(std::string text) { return Answer{400, std::move(text) + "\n"}; }

Answer failed(RequestNote& note, std::string_view message) {
  note.error = true;
  return Answer{200, error_answer(message)};
}

// The statement lines of a script: line breaks end a line, blank lines are skipped.
std::vector<std::pair<int, std::string>> script_lines(const std::string& text) {
  std::vector<std::pair<int, std::string>> lines;
  int number = 0;
  std::size_t pos = 0;
  while (pos <= text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of(" \t\r") != std::string::npos) lines.emplace_back(number, std::move(line));
    pos = end + 1;
  }
  return lines;
}

// The name a log line gives the signed-in client: a terminal's machine number, a viewer's name,
// or the shared credential's user name marked as such.
std::string named(const Principal& who) {
  return who.kind == Principal::Kind::Shared ? who.name + " (shared)" : who.name;
}

}  // namespace

RequestHandler::RequestHandler(Database& db, HandlerOptions options)
    : options_(std::move(options)),
      pool_(db, options_.connections, options_.per_credential),
      sign_in_(pool_, options_.shared_user, options_.shared_password) {}

RequestHandler::SignInResult RequestHandler::sign_in(const std::optional<std::string>& user,
                                                     const std::optional<std::string>& password,
                                                     const std::string& client) {
  SignInResult result;
  if (!user && !password) {
    result.no_credentials = true;
    result.refusal = "sign in with a user name and password";
    return result;
  }
  const std::string who = user.value_or("");
  const std::string key = client + '\n' + who;
  if (const long long wait = throttle_.refused_for(key); wait > 0) {
    result.refusal = "too many failed sign-ins as '" + who.substr(0, 40) + "' from " + client + "; try again in " +
                     std::to_string(wait) + " s";
    return result;
  }
  try {
    if (user && password) result.who = sign_in_.verify(*user, *password);
  } catch (const std::exception& e) {
    result.refusal = std::string("the credentials cannot be checked now: ") + e.what();
    return result;
  }
  if (!result.who) {
    throttle_.failed(key);
    result.wrong = true;
    result.refusal = "access denied: wrong or missing user name or password";
    return result;
  }
  throttle_.succeeded(key);
  return result;
}

std::optional<Answer> RequestHandler::refusal(const std::optional<std::string>& user,
                                              const std::optional<std::string>& password, const std::string& client,
                                              RequestNote& note) {
  SignInResult signed_in = sign_in(user, password, client);
  if (signed_in.wrong) {
    // Said to a terminal: what to check where it keeps its credential.
    note.refused_user = user.value_or("");
    return failed(note, signed_in.refusal +
                            "; on the terminal, check user_name= and password= in [set] of its httpset.ini (head "
                            "office issues a new password with: headoffice-service terminals add MACHINE_NO)");
  }
  if (!signed_in.who) return failed(note, signed_in.refusal);
  if (signed_in.who->kind == Principal::Kind::Viewer)
    return failed(note, "'" + signed_in.who->name + "' may read the status page only");
  note.signed_in = true;
  note.who = signed_in.who;
  return std::nullopt;
}

std::optional<Answer> RequestHandler::not_admitted(Endpoint endpoint, std::string_view sql, const std::string& client,
                                                   RequestNote& note, const std::string& where) {
  if (options_.any_statement) {
    const std::string kind = statement_kind(sql);
    if (statement_allowed(kind)) return std::nullopt;
    return failed(note, where + "statement not allowed here: " + kind);
  }
  const Principal& who = *note.who;
  const std::optional<std::string> machine =
      who.kind == Principal::Kind::Terminal ? std::optional<std::string>(who.name) : std::nullopt;
  const AdmissionResult admitted = Admission::standard().admit(endpoint, sql, machine);
  if (admitted.admitted()) return std::nullopt;
  if (options_.on_refusal)
    options_.on_refusal("refused client=" + client + " user=" + named(who) + " " +
                        (endpoint == Endpoint::Query ? "query" : "script") + ": " + admitted.refusal +
                        "; statement: " + first_words(sql));
  return failed(note, where + "statement refused: " + admitted.refusal + " (" + first_words(sql, 4) + " ...)");
}

std::string RequestHandler::owner_of(const RequestNote& note, const std::string& client) {
  if (!note.who) return {};
  if (note.who->kind == Principal::Kind::Shared) return note.who->name + '\n' + client;
  return note.who->name;
}

Answer RequestHandler::query(const FormFields& form, std::string_view raw_query, const std::string& client,
                             RequestNote& note) {
  if (!form.sql) return bad_request("missing form field: sql");
  // The form fields carry the credentials; the query string stands in for a missing field.
  const QueryCredentials from_url = credentials_from_query(raw_query);
  if (auto refused = refusal(form.user ? form.user : from_url.user, form.password ? form.password : from_url.password,
                             client, note)) {
    return *refused;
  }
  std::string sql;
  try {
    sql = big5_to_utf8(*form.sql);
  } catch (const TextError& e) {
    return failed(note, std::string("the statement is not Big5 text: ") + e.what());
  }
  note.kind = statement_kind(sql);
  if (note.kind.empty()) return failed(note, "empty statement");
  if (auto refused = not_admitted(Endpoint::Query, sql, client, note)) return *refused;
  try {
    auto conn = pool_.borrow(owner_of(note, client));
    PacketSink packet;
    const ExecResult result = conn->execute(sql, {}, &packet);
    note.rows = result.count;
    if (!result.has_rows) return Answer{200, "OK"};
    return Answer{200, packet.finish(), std::string(kPacketContentType)};
  } catch (const std::exception& e) {
    return failed(note, e.what());
  }
}

Answer RequestHandler::script(const FormFields& form, std::string_view raw_query, const std::string& client,
                              RequestNote& note) {
  if (!form.sql) return bad_request("missing form field: sql");
  // This endpoint takes its credentials from the query string only.
  const QueryCredentials creds = credentials_from_query(raw_query);
  if (auto refused = refusal(creds.user, creds.password, client, note)) return *refused;
  std::string text;
  try {
    text = big5_to_utf8(*form.sql);
  } catch (const TextError& e) {
    return failed(note, std::string("the script is not Big5 text: ") + e.what());
  }
  const auto lines = script_lines(text);
  note.kind = "SCRIPT";
  for (const auto& [number, line] : lines) {
    if (auto refused = not_admitted(Endpoint::Script, line, client, note, "line " + std::to_string(number) + ": "))
      return *refused;
  }
  int current = 0;
  try {
    auto conn = pool_.borrow(owner_of(note, client));
    Transaction tx(*conn);
    std::int64_t changed = 0;
    for (const auto& [number, line] : lines) {
      current = number;
      changed += conn->execute(line, {}, nullptr).count;
    }
    current = 0;
    tx.commit();
    note.rows = changed;
    return Answer{200, "success"};
  } catch (const std::exception& e) {
    const std::string where = current ? "line " + std::to_string(current) + ": " : "";
    return failed(note, where + e.what());
  }
}

}  // namespace pos::headoffice

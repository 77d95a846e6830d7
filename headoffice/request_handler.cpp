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

}  // namespace

RequestHandler::RequestHandler(Database& db, std::string user, std::string password, std::size_t connections)
    : pool_(db, connections), user_(std::move(user)), password_(std::move(password)) {}

std::optional<std::string> RequestHandler::sign_in_refusal(const std::optional<std::string>& user,
                                                           const std::optional<std::string>& password,
                                                           const std::string& client) {
  if (const long long wait = throttle_.refused_for(client); wait > 0)
    return "too many failed sign-ins from " + client + "; try again in " + std::to_string(wait) + " s";
  // Both comparisons always run, so a wrong user name costs the same time as a wrong password.
  const bool user_ok = same_secret(user.value_or(""), user_);
  const bool password_ok = same_secret(password.value_or(""), password_);
  if (user && password && user_ok && password_ok) {
    throttle_.succeeded(client);
    return std::nullopt;
  }
  throttle_.failed(client);
  return "access denied: wrong or missing user name or password";
}

std::optional<Answer> RequestHandler::refusal(const std::optional<std::string>& user,
                                              const std::optional<std::string>& password, const std::string& client,
                                              RequestNote& note) {
  if (auto why = sign_in_refusal(user, password, client)) return failed(note, *why);
  note.signed_in = true;
  return std::nullopt;
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
  if (!statement_allowed(note.kind)) return failed(note, "statement not allowed here: " + note.kind);
  try {
    auto conn = pool_.borrow();
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
    const std::string kind = statement_kind(line);
    if (!statement_allowed(kind)) {
      return failed(note, "line " + std::to_string(number) + ": statement not allowed here: " + kind);
    }
  }
  int current = 0;
  try {
    auto conn = pool_.borrow();
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

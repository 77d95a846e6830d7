#pragma once
// The two endpoints, apart from HTTP: the query endpoint runs one statement and answers a
// data packet, "OK" or an error answer; the script endpoint runs its lines in one transaction
// and answers "success" or an error answer.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "headoffice/sign_in_throttle.h"
#include "headoffice/storage/connection_pool.h"
#include "headoffice/storage/database.h"

namespace pos::headoffice {

struct FormFields {
  std::optional<std::string> sql;  // Big5
  std::optional<std::string> user;
  std::optional<std::string> password;
};

struct Answer {
  int status = 200;
  std::string body;
  std::string content_type = "text/plain; charset=big5";
};

// What a request did, for the log line.
struct RequestNote {
  std::string kind;        // SELECT, UPDATE, ..., SCRIPT; empty before the statement is read
  std::int64_t rows = -1;  // rows answered or changed; -1 when nothing ran
  bool error = false;      // the answer is an error answer
  bool signed_in = false;  // the credentials were right
};

class RequestHandler {
 public:
  // At most `connections` database connections are open at once; requests beyond wait for one.
  RequestHandler(Database& db, std::string user, std::string password, std::size_t connections);

  // `client` is the address the request came from, for slowing down guessing.
  Answer query(const FormFields& form, std::string_view raw_query, const std::string& client, RequestNote& note);
  Answer script(const FormFields& form, std::string_view raw_query, const std::string& client, RequestNote& note);

  // Cancels the statements running; requests from now on get an error answer.
  void stop() { pool_.stop(); }

  // Why `client` may not sign in with `user` and `password` now (UTF-8); none when it may.
  std::optional<std::string> sign_in_refusal(const std::optional<std::string>& user,
                                             const std::optional<std::string>& password, const std::string& client);

  ConnectionPool& pool() { return pool_; }

 private:
  // An error answer when `client` may not sign in now or the credentials are wrong; none when
  // they are right.
  std::optional<Answer> refusal(const std::optional<std::string>& user, const std::optional<std::string>& password,
                                const std::string& client, RequestNote& note);

  ConnectionPool pool_;
  SignInThrottle throttle_;
  std::string user_;
  std::string password_;
};

inline constexpr std::string_view kPacketContentType = "text/xml; charset=UTF-8";

}  // namespace pos::headoffice

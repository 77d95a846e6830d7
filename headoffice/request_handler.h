#pragma once
// The two endpoints, apart from HTTP: the query endpoint runs one statement and answers a
// data packet, "OK" or an error answer; the script endpoint runs its lines in one transaction
// and answers "success" or an error answer. A request runs only for a signed-in terminal (or
// the shared credential), and only statements the statement catalogue admits, unless the service
// admits any statement.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "headoffice/admission/admission.h"
#include "headoffice/credentials/sign_in.h"
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
  std::string kind;              // SELECT, UPDATE, ..., SCRIPT; empty before the statement is read
  std::int64_t rows = -1;        // rows answered or changed; -1 when nothing ran
  bool error = false;            // the answer is an error answer
  bool signed_in = false;        // the credentials were right
  std::optional<Principal> who;  // who signed in
  // The user name whose password was wrong (or revoked); none when the sign-in was not refused so.
  std::optional<std::string> refused_user;
};

struct HandlerOptions {
  std::string shared_user, shared_password;  // the credential of every terminal; empty: none
  std::size_t connections = 8;               // database connections open at once
  std::size_t per_credential = 2;            // of them, held by one credential at once
  bool any_statement = false;                // run any statement of an allowed kind, unchecked
  // Told of each statement refused, with the client's address and the statement's first words.
  std::function<void(const std::string& line)> on_refusal;
};

class RequestHandler {
 public:
  RequestHandler(Database& db, HandlerOptions options);

  // `client` is the address the request came from, for slowing down guessing.
  Answer query(const FormFields& form, std::string_view raw_query, const std::string& client, RequestNote& note);
  Answer script(const FormFields& form, std::string_view raw_query, const std::string& client, RequestNote& note);

  // Cancels the statements running; requests from now on get an error answer.
  void stop() { pool_.stop(); }

  struct SignInResult {
    std::optional<Principal> who;  // none: refused
    std::string refusal;           // why (UTF-8)
    bool no_credentials = false;   // nothing was given at all
    bool wrong = false;            // the user name and password do not match a credential
  };
  // Signs `user` in from `client`. Giving no user name and no password is no failed sign-in;
  // wrong ones count against the pair of address and user name.
  SignInResult sign_in(const std::optional<std::string>& user, const std::optional<std::string>& password,
                       const std::string& client);

  ConnectionPool& pool() { return pool_; }

 private:
  std::optional<Answer> refusal(const std::optional<std::string>& user, const std::optional<std::string>& password,
                                const std::string& client, RequestNote& note);
  // An error answer when the statement may not run for the signed-in client; none when it may.
  std::optional<Answer> not_admitted(Endpoint endpoint, std::string_view sql, const std::string& client,
                                     RequestNote& note, const std::string& where = {});
  // The owner of the connections a request borrows: the credential, or for the shared one the
  // credential and the client's address.
  static std::string owner_of(const RequestNote& note, const std::string& client);

  HandlerOptions options_;
  ConnectionPool pool_;
  SignIn sign_in_;
  SignInThrottle throttle_;
};

inline constexpr std::string_view kPacketContentType = "text/xml; charset=UTF-8";

}  // namespace pos::headoffice

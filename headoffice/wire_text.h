#pragma once
// Text rules of the wire: the query string with the credentials, the comparison of secrets,
// and error answers that the terminal can never take for a success.

#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace pos::headoffice {

// %XX becomes the byte; a '%' not followed by two hex digits stays as it is; '+' stays '+'
// (the terminal encodes a blank as %20 and keeps '+').
std::string percent_decode(std::string_view s);

struct QueryCredentials {
  std::optional<std::string> user;
  std::optional<std::string> password;
};

// user_name and password from a raw query string (without '?'), decoded first. The terminal
// sends "user_name=U&password=P", on the script endpoint with every '=' as %3D; the password
// runs to the end, so it may itself hold '&' or '='.
QueryCredentials credentials_from_query(std::string_view raw_query);

// The user name and password of an "Authorization: Basic ..." header value; none when it is not
// one.
std::optional<std::pair<std::string, std::string>> basic_credentials(std::string_view authorization);

// Compares a secret without an early exit; time depends only on the length of `given`.
bool same_secret(std::string_view given, std::string_view expected);

// "<RESULT>" + message, as Big5, with every "OK" and "success" broken up ("Ok", "succ-ess") so
// that neither answer test of the terminal can pass on an error. `utf8_message` may hold any
// UTF-8; characters Big5 lacks become '?'.
std::string error_answer(std::string_view utf8_message);

// The same breaking-up on Big5 bytes, never touching a double-byte character.
std::string without_success_marks(std::string big5);

}  // namespace pos::headoffice

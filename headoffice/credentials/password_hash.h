#pragma once
// Passwords as the service keeps them: a salted, deliberately slow hash (libsodium's Argon2id at
// its interactive limits: about 0.1 s and 64 MiB each), never the password itself.

#include <string>
#include <string_view>

namespace pos::headoffice {

// The hash to store for `password`, with its salt and limits in it. Throws std::runtime_error
// when there is not the memory for it.
std::string hash_password(std::string_view password);

// Whether `password` is the one `stored` was made from. False for a stored text that is no hash.
bool password_matches(std::string_view stored, std::string_view password);

// A new password: 24 letters and digits from the system's random source (about 143 bits). Only
// letters and digits, since the terminal sends its password unencoded in a query string.
std::string new_password();

}  // namespace pos::headoffice

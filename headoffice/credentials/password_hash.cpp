#include "headoffice/credentials/password_hash.h"

#include <sodium.h>

#include <stdexcept>

namespace pos::headoffice {
namespace {

void ready() {
  static const int status = sodium_init();
  if (status < 0) throw std::runtime_error("libsodium cannot start");
}

}  // namespace

std::string hash_password(std::string_view password) {
  ready();
  char out[crypto_pwhash_STRBYTES];
  if (crypto_pwhash_str(out, password.data(), password.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                        crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
    throw std::runtime_error("not enough memory to hash a password");
  return out;
}

bool password_matches(std::string_view stored, std::string_view password) {
  ready();
  if (stored.empty() || stored.size() >= crypto_pwhash_STRBYTES) return false;
  const std::string text(stored);  // the hash is read as a C string
  return crypto_pwhash_str_verify(text.c_str(), password.data(), password.size()) == 0;
}

std::string new_password() {
  ready();
  static constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::string password(24, ' ');
  for (char& c : password) c = kAlphabet[randombytes_uniform(static_cast<std::uint32_t>(kAlphabet.size()))];
  return password;
}

}  // namespace pos::headoffice

#include "headoffice/wire_text.h"

#include "text/ascii.h"
#include "text/big5.h"

namespace pos::headoffice {
namespace {

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::string percent_decode(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && hex_value(s[i + 1]) >= 0 && hex_value(s[i + 2]) >= 0) {
      out += static_cast<char>(hex_value(s[i + 1]) * 16 + hex_value(s[i + 2]));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

QueryCredentials credentials_from_query(std::string_view raw_query) {
  const std::string q = percent_decode(raw_query);
  // Start of the value of `key` when the key opens the text or follows an '&'.
  auto value_start = [&](std::string_view key) -> std::size_t {
    for (std::size_t at = q.find(key); at != std::string::npos; at = q.find(key, at + 1)) {
      if (at == 0 || q[at - 1] == '&') return at + key.size();
    }
    return std::string::npos;
  };
  QueryCredentials creds;
  const std::size_t pw = value_start("password=");
  if (pw != std::string::npos) creds.password = q.substr(pw);
  if (const std::size_t user = value_start("user_name="); user != std::string::npos) {
    std::size_t end = q.find('&', user);
    if (pw != std::string::npos && pw > user) end = pw - std::string_view("&password=").size();
    creds.user = q.substr(user, end == std::string::npos ? std::string::npos : end - user);
  }
  return creds;
}

std::optional<std::pair<std::string, std::string>> basic_credentials(std::string_view authorization) {
  constexpr std::string_view kScheme = "Basic ";
  if (authorization.size() < kScheme.size() ||
      ascii_upper(authorization.substr(0, kScheme.size())) != ascii_upper(kScheme))
    return std::nullopt;
  std::string decoded;
  unsigned bits = 0;
  int count = 0;
  for (const char c : authorization.substr(kScheme.size())) {
    int v;
    if (c >= 'A' && c <= 'Z')
      v = c - 'A';
    else if (c >= 'a' && c <= 'z')
      v = c - 'a' + 26;
    else if (c >= '0' && c <= '9')
      v = c - '0' + 52;
    else if (c == '+')
      v = 62;
    else if (c == '/')
      v = 63;
    else if (c == '=' || c == ' ')
      continue;
    else
      return std::nullopt;
    bits = (bits << 6) | static_cast<unsigned>(v);
    count += 6;
    if (count >= 8) {
      count -= 8;
      decoded += static_cast<char>((bits >> count) & 0xff);
    }
  }
  const auto colon = decoded.find(':');
  if (colon == std::string::npos) return std::nullopt;
  return std::make_pair(decoded.substr(0, colon), decoded.substr(colon + 1));
}

bool same_secret(std::string_view given, std::string_view expected) {
  unsigned diff = given.size() == expected.size() ? 0u : 1u;
  for (std::size_t i = 0; i < given.size(); ++i) {
    const unsigned char e = expected.empty() ? 0 : static_cast<unsigned char>(expected[i % expected.size()]);
    diff |= static_cast<unsigned char>(given[i]) ^ e;
  }
  return diff == 0;
}

std::string without_success_marks(std::string s) {
  std::string out;
  out.reserve(s.size() + 8);
  std::size_t i = 0;
  while (i < s.size()) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (is_big5_lead(c) && i + 1 < s.size()) {
      // A double-byte character; its trail byte may be 'O' or 's'.
      out.append(s, i, 2);
      i += 2;
    } else {
      out += s[i];
      ++i;
    }
    // The bytes written so far end the text; break the marks as they form.
    if (out.size() >= 2 && out.compare(out.size() - 2, 2, "OK") == 0) {
      out.back() = 'k';
    } else if (out.size() >= 7 && out.compare(out.size() - 7, 7, "success") == 0) {
      out.insert(out.size() - 3, "-");
    }
  }
  return out;
}

std::string error_answer(std::string_view utf8_message) {
  return without_success_marks("<RESULT>" + utf8_to_big5_lossy(utf8_message));
}

}  // namespace pos::headoffice

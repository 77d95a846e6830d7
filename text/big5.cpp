#include "text/big5.h"

#include <iconv.h>

#include <cerrno>
#include <cstdio>

namespace pos {
namespace {

constexpr const char* kBig5Name = "CP950";
constexpr const char* kUtf8Name = "UTF-8";

// One iconv descriptor, opened on first use and closed with its thread.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) {
      throw TextError(std::string("iconv cannot convert ") + from + " to " + to);
    }
  }
  ~Converter() { iconv_close(cd_); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

// Number of bytes a UTF-8 sequence announces by its first byte.
std::size_t utf8_length(unsigned char b) {
  if (b >= 0xF0 && b <= 0xF7) return 4;
  if (b >= 0xE0) return b <= 0xEF ? 3 : 1;
  if (b >= 0xC0) return 2;
  return 1;
}

// Offending bytes as "0xB0 0x65".
std::string hex_bytes(std::string_view bytes) {
  std::string out;
  for (unsigned char b : bytes) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%s0x%02X", out.empty() ? "" : " ", b);
    out += buf;
  }
  return out;
}

// Builds the error for a failed conversion of `in` at `offset`.
TextError conversion_error(bool from_big5, std::string_view in, std::size_t offset, bool incomplete) {
  const auto lead = static_cast<unsigned char>(in[offset]);
  std::size_t len = from_big5 ? (is_big5_lead(lead) ? 2 : 1) : utf8_length(lead);
  std::string_view bad = in.substr(offset, len);
  std::string what = incomplete ? (from_big5 ? "incomplete Big5 character" : "incomplete UTF-8 character")
                                : (from_big5 ? "invalid Big5 text" : "UTF-8 text not convertible to Big5");
  return TextError(what + " at byte " + std::to_string(offset) + " (" + hex_bytes(bad) + ")");
}

// Runs `in` through `cd`, growing the output as needed.
std::string convert(iconv_t cd, std::string_view in, bool from_big5) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);  // reset after an earlier failure
  std::string out(in.size() + in.size() / 2 + 8, '\0');
  char* src = const_cast<char*>(in.data());
  std::size_t src_left = in.size();
  char* dst = out.data();
  std::size_t dst_left = out.size();
  while (src_left > 0) {
    if (iconv(cd, &src, &src_left, &dst, &dst_left) != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) {
      const std::size_t used = static_cast<std::size_t>(dst - out.data());
      out.resize(out.size() * 2);
      dst = out.data() + used;
      dst_left = out.size() - used;
      continue;
    }
    const auto offset = static_cast<std::size_t>(src - in.data());
    throw conversion_error(from_big5, in, offset, errno == EINVAL);
  }
  out.resize(static_cast<std::size_t>(dst - out.data()));
  return out;
}

}  // namespace

std::string big5_to_utf8(std::string_view big5) {
  thread_local Converter conv(kUtf8Name, kBig5Name);
  return convert(conv.get(), big5, true);
}

std::string utf8_to_big5(std::string_view utf8) {
  thread_local Converter conv(kBig5Name, kUtf8Name);
  return convert(conv.get(), utf8, false);
}

std::string big5(std::string_view utf8) { return utf8_to_big5(utf8); }

std::size_t big5_fit(std::string_view text, std::size_t width) {
  std::size_t end = 0;
  while (end < text.size()) {
    const bool pair = is_big5_lead(static_cast<unsigned char>(text[end])) && end + 1 < text.size();
    const std::size_t next = end + (pair ? 2 : 1);
    if (next > width) break;
    end = next;
  }
  return end;
}

std::size_t utf8_sequence(std::string_view s, std::size_t i) {
  auto b = static_cast<unsigned char>(s[i]);
  std::size_t n = b < 0x80                   ? 1
                  : (b >= 0xC2 && b <= 0xDF) ? 2
                  : (b >= 0xE0 && b <= 0xEF) ? 3
                  : (b >= 0xF0 && b <= 0xF4) ? 4
                                             : 0;
  if (n == 0 || i + n > s.size()) return 0;
  for (std::size_t k = 1; k < n; ++k)
    if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 0;
  // No overlong forms, no surrogates, nothing above U+10FFFF.
  const auto second = static_cast<unsigned char>(n > 1 ? s[i + 1] : 0);
  if ((b == 0xE0 && second < 0xA0) || (b == 0xED && second > 0x9F) || (b == 0xF0 && second < 0x90) ||
      (b == 0xF4 && second > 0x8F))
    return 0;
  return n;
}

std::string big5_to_utf8_lossy(std::string_view s) {
  try {
    return big5_to_utf8(s);
  } catch (const TextError&) {
  }
  std::string out;
  for (std::size_t i = 0; i < s.size();) {
    std::size_t n = (is_big5_lead(static_cast<unsigned char>(s[i])) && i + 1 < s.size()) ? 2 : 1;
    try {
      out += big5_to_utf8(s.substr(i, n));
    } catch (const TextError&) {
      out += '?';
    }
    i += n;
  }
  return out;
}

std::string utf8_to_big5_lossy(std::string_view s) {
  try {
    return utf8_to_big5(s);
  } catch (const TextError&) {
  }
  std::string out;
  for (std::size_t i = 0; i < s.size();) {
    std::size_t n = utf8_sequence(s, i);
    if (n == 0) {
      out += '?';
      ++i;
      continue;
    }
    try {
      out += utf8_to_big5(s.substr(i, n));
    } catch (const TextError&) {
      out += '?';
    }
    i += n;
  }
  return out;
}

}  // namespace pos

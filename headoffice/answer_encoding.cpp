#include "headoffice/answer_encoding.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

#include "text/ascii.h"
#include "text/number_format.h"

namespace pos::headoffice {
namespace {

// The q value of a coding's parameters ("q=0.5"); 1 when absent.
double quality(std::string_view params) {
  while (!params.empty()) {
    const auto semi = params.find(';');
    const std::string_view param = trim_blanks(params.substr(0, semi));
    params.remove_prefix(semi == std::string_view::npos ? params.size() : semi + 1);
    if (param.size() >= 2 && ascii_upper(param[0]) == 'Q' && param[1] == '=')
      return std::strtod(std::string(param.substr(2)).c_str(), nullptr);
  }
  return 1;
}

}  // namespace

bool accepts_gzip(std::string_view value) {
  while (!value.empty()) {
    const auto comma = value.find(',');
    const std::string_view item = value.substr(0, comma);
    value.remove_prefix(comma == std::string_view::npos ? value.size() : comma + 1);
    const auto semi = item.find(';');
    const std::string coding = ascii_upper(std::string(trim_blanks(item.substr(0, semi))));
    if ((coding == "GZIP" || coding == "X-GZIP") &&
        quality(semi == std::string_view::npos ? "" : item.substr(semi + 1)) > 0)
      return true;
  }
  return false;
}

std::string gzip(std::string_view text) {
  z_stream z{};
  // 15 window bits + 16: a gzip header and trailer around the deflate stream.
  if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::runtime_error("cannot start gzip");
  std::string out(deflateBound(&z, static_cast<uLong>(text.size())), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  constexpr std::size_t kStep = 1u << 30;  // avail_in and avail_out are 32 bits wide
  std::size_t in_left = text.size(), out_left = out.size();
  int rc = Z_OK;
  while (rc == Z_OK) {
    const std::size_t in_step = std::min(in_left, kStep), out_step = std::min(out_left, kStep);
    z.avail_in = static_cast<uInt>(in_step);
    z.avail_out = static_cast<uInt>(out_step);
    rc = deflate(&z, in_step == in_left ? Z_FINISH : Z_NO_FLUSH);
    in_left -= in_step - z.avail_in;
    out_left -= out_step - z.avail_out;
  }
  out.resize(out.size() - out_left);
  deflateEnd(&z);
  if (rc != Z_STREAM_END) throw std::runtime_error("gzip failed");
  return out;
}

}  // namespace pos::headoffice

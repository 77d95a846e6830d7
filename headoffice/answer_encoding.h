#pragma once
// Compressed answers: a client that lists gzip in Accept-Encoding gets large answers gzipped.

#include <cstddef>
#include <string>
#include <string_view>

namespace pos::headoffice {

// Answers up to this size go out as they are: compressing them saves too little.
inline constexpr std::size_t kCompressAbove = 64 * 1024;

// True when an Accept-Encoding value lists gzip (or x-gzip) without q=0.
bool accepts_gzip(std::string_view accept_encoding);

// `text` as one gzip member (RFC 1952).
std::string gzip(std::string_view text);

}  // namespace pos::headoffice

#pragma once

#include <stdexcept>

namespace pos {

// Raised when text cannot be converted, parsed or formatted.
struct TextError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

}  // namespace pos

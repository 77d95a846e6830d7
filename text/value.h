#pragma once
// A typed value as databases and data packets hand them over: null, text (Big5 bytes),
// a whole number or a floating number.

#include <cstdint>
#include <string>
#include <variant>

namespace pos {

class Value {
 public:
  Value() = default;  // null
  Value(std::string text) : v_(std::move(text)) {}
  Value(const char* text) : v_(std::string(text)) {}
  Value(std::int64_t n) : v_(n) {}
  Value(int n) : v_(static_cast<std::int64_t>(n)) {}
  Value(double d) : v_(d) {}

  bool is_null() const { return v_.index() == 0; }
  bool is_text() const { return v_.index() == 1; }
  bool is_integer() const { return v_.index() == 2; }
  bool is_float() const { return v_.index() == 3; }

  const std::string& text() const { return std::get<1>(v_); }
  std::int64_t integer() const { return std::get<2>(v_); }
  double number() const { return std::get<3>(v_); }

  // Text form: null is empty, numbers in their shortest decimal form (15 significant digits).
  std::string as_text() const;

  bool operator==(const Value&) const = default;

 private:
  std::variant<std::monostate, std::string, std::int64_t, double> v_;
};

// Shortest decimal text of a floating number with at most 15 significant digits ("12.5", "100", "-0.25").
std::string format_float(double d);

}  // namespace pos

#include "headoffice/admission/statement_shape.h"

#include "text/ascii.h"

namespace pos::headoffice {
namespace {

bool blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The end of the quoted value that begins at `open` (its closing quote), or npos when it is not
// closed. A doubled quote stands for one inside the value.
std::size_t closing_quote(std::string_view sql, std::size_t open) {
  for (std::size_t i = open + 1; i < sql.size(); ++i) {
    if (sql[i] != '\'') continue;
    if (i + 1 < sql.size() && sql[i + 1] == '\'') {
      ++i;
      continue;
    }
    return i;
  }
  return std::string_view::npos;
}

// The end (one past its ')') of the list of quoted values that begins at `open` ('('), or npos
// when no such list begins there. Items are separated by ',' and at most one blank.
std::size_t list_end(std::string_view sql, std::size_t open) {
  std::size_t i = open + 1;
  for (;;) {
    if (i >= sql.size() || sql[i] != '\'') return std::string_view::npos;
    const std::size_t close = closing_quote(sql, i);
    if (close == std::string_view::npos) return close;
    i = close + 1;
    if (i < sql.size() && sql[i] == ')') return i + 1;
    if (i >= sql.size() || sql[i] != ',') return std::string_view::npos;
    ++i;
    if (i < sql.size() && sql[i] == ' ') ++i;
  }
}

}  // namespace

StatementShape shape_of(std::string_view sql) {
  StatementShape s;
  s.skeleton.reserve(sql.size() < 512 ? sql.size() : 512);
  bool pending_blank = false;
  for (std::size_t i = 0; i < sql.size();) {
    const char c = sql[i];
    if (blank(c)) {
      pending_blank = !s.skeleton.empty();
      ++i;
      continue;
    }
    if (pending_blank) s.skeleton += ' ';
    pending_blank = false;
    if (c == '(') {
      if (const std::size_t end = list_end(sql, i); end != std::string_view::npos) {
        s.skeleton += StatementShape::kList;
        s.holes.push_back(sql.substr(i, end - i));
        i = end;
        continue;
      }
    }
    if (c == '\'') {
      const std::size_t close = closing_quote(sql, i);
      if (close == std::string_view::npos) {
        s.well_formed = false;
        return s;
      }
      s.skeleton += StatementShape::kValue;
      s.holes.push_back(sql.substr(i + 1, close - i - 1));
      i = close + 1;
      continue;
    }
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) s.well_formed = false;
    s.skeleton += ascii_upper(c);
    ++i;
  }
  if (s.skeleton.ends_with(';')) s.skeleton.pop_back();
  if (s.skeleton.ends_with(' ')) s.skeleton.pop_back();
  return s;
}

}  // namespace pos::headoffice

#include "num_map.h"

#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tk_logger.h"
#include "udb_record.h"
#include "udb_schema.h"

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The runtime's integer reading: leading blanks, a sign, then digits; the
// result wraps like the platform's 64-bit conversion does on overflow.
int64_t read_i64(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  uint64_t value = 0;
  for (; i < text.size() && is_digit(text[i]); ++i) value = value * 10 + static_cast<uint64_t>(text[i] - '0');
  return negative ? -static_cast<int64_t>(value) : static_cast<int64_t>(value);
}

// No text longer than this reads as a number: a double written out in full
// takes a few hundred characters at most. A longer text is taken as text
// without converting it to find that out (a cell may hold a gigabyte).
constexpr size_t max_number_text = 4096;

bool prints_back(int64_t value, std::string_view text) {
  char buf[24];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
  return ec == std::errc() && std::string_view(buf, static_cast<size_t>(end - buf)) == text;
}

// atof's leading number: optional blanks, sign, digits, point, digits,
// exponent; nothing else.
double read_leading_double(std::string_view text) {
  std::string copy(text.substr(0, 64));
  return std::strtod(copy.c_str(), nullptr);
}

}  // namespace

num_map::num_map(std::u16string table, const udb_schema& schema) : types_map(std::move(table)) {
  TK_TRACE(2, "num_map::ctor(size=%d)", schema.size());
  for (size_t i = 0; i < schema.size(); ++i) {
    const t_ftd* column = schema.fields[i].get();
    if (!column) continue;
    TK_TRACE(1, "Field #%d has type %d", i, column->vartype);
    types_map_entry entry;
    entry.field_index = static_cast<uint32_t>(i);
    entry.field_name = column->name;
    switch (column->vartype) {
      case VT_I4:
        entry.arrival = state_int;
        break;
      case VT_R4:
      case VT_R8:
        entry.arrival = state_double;
        break;
      case VT_I8:
        entry.arrival = state_bigint;
        break;
      default:
        entry.arrival = state_varchar;
        break;
    }
    entries_.push_back(std::move(entry));
  }
}

bool num_map::is_i8(std::string_view text) {
  TK_TRACE(1, "num_map::is_i8(%s)", text);
  int64_t value = read_i64(text);
  return prints_back(value, text) && (value < INT32_MIN || value > INT32_MAX);
}

bool num_map::is_int(std::string_view text) {
  TK_TRACE(1, "num_map::is_int(%s)", text);
  int32_t ibuf = static_cast<int32_t>(read_i64(text));
  if (prints_back(ibuf, text)) {
    TK_TRACE(1, "1st test succeeded (ibuf=%d)", ibuf);
    return true;
  }
  double dbuf = read_leading_double(text);
  // Truncation toward zero of a value outside the 32-bit range is not a
  // 32-bit whole number.
  if (!(dbuf >= -2147483648.0 && dbuf <= 2147483647.0)) return false;
  ibuf = static_cast<int32_t>(dbuf);
  TK_TRACE(1, "ibuf=%d, dbuf=%lg", ibuf, dbuf);
  if (dbuf == static_cast<double>(ibuf)) {
    TK_TRACE(1, "2nd test succeeded (dbuf=%lg)", dbuf);
    return true;
  }
  return false;
}

bool num_map::is_number_syntax(std::string_view text) {
  if (text.empty()) return false;
  if (text[0] == '0' && text.size() >= 3 && text[1] != '.' && text[1] != ',') return false;
  if (!is_digit(text.back())) return false;
  bool sign_closed = false, point_or_exp = false, exponent = false;
  for (char c : text) {
    if (c == '.' || c == ',') {
      if (point_or_exp) return false;
      sign_closed = point_or_exp = true;
    } else if (c == 'e' || c == 'E') {
      if (exponent) return false;
      point_or_exp = exponent = true;
      sign_closed = false;
    } else if (c == '-' || c == '+') {
      if (sign_closed) return false;
      sign_closed = true;
    } else if (is_digit(c)) {
      if (exponent) sign_closed = true;
    } else {
      return false;
    }
  }
  return true;
}

void num_map::add_rec_stat(const udb_record& record) {
  TK_TRACE(1, "num_map::add_rec_stat(map size=%d)", entries_.size());
  for (size_t i = 0; i < entries_.size(); ++i) {
    types_map_entry& e = entries_[i];
    TK_TRACE(1, "Process %d item, n_field=%d", i, e.field_index);
    if (e.field_index >= record.size()) continue;
    // VARCHAR is final: a column that got there costs nothing more.
    if (e.seen && e.state == state_varchar) continue;
    const udb_field& field = record[e.field_index];
    if (field.get_type() == VT_BSTR && field.text().empty()) e.seen_empty_text = true;
    if (field.is_empty() || field.is_null()) continue;
    if (field.get_type() == VT_BSTR && field.text().size() > max_number_text) {
      TK_TRACE(1, "Text too long for a number");
      if (e.seen) e.state = state_varchar;
      e.seen = true;
      continue;
    }
    text_.clear();
    field.append_to_string(text_);
    if (text_.empty()) continue;
    TK_TRACE(1, "Got string representation: '%s'", text_);
    if (!e.seen) {
      e.seen = true;
      if (is_i8(text_)) {
        TK_TRACE(1, "got VT_I8");
        e.state = state_bigint;
      } else {
        TK_TRACE(1, "num_map::is_double(%s)", text_);
        if (is_number_syntax(text_)) {
          if (is_int(text_)) {
            TK_TRACE(1, "got VT_I4");
            e.state = state_int;
          } else {
            TK_TRACE(1, "got double");
            e.state = state_double;
          }
        }
      }
      continue;
    }
    if (e.state == state_varchar) {
      TK_TRACE(1, "skip mapping VARCHAR");
      continue;
    }
    if (is_i8(text_)) {
      if (e.state == state_int) {
        TK_TRACE(1, "Switch to VT_I8");
        e.state = state_bigint;
      }
      continue;
    }
    TK_TRACE(1, "num_map::is_double(%s)", text_);
    if (is_number_syntax(text_)) {
      if (is_int(text_)) {
        TK_TRACE(1, "skip integer");
      } else {
        TK_TRACE(1, "Switch to DOUBLE");
        e.state = state_double;
      }
    } else {
      TK_TRACE(1, "Switch to VARCHAR");
      e.state = state_varchar;
    }
  }
}

#include "udb_field_mutator.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "ole_cast_exception.h"
#include "ole_coerce.h"
#include "ole_date.h"
#include "t_ftd.h"
#include "tk_exception.h"
#include "tk_logger.h"
#include "tk_wstring.h"
#include "udb_field.h"

namespace {

bool is_integer_tag(VARTYPE vt) {
  switch (vt) {
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_I8:
    case VT_UI8:
      return true;
    default:
      return false;
  }
}

std::u16string decimal_text(uint32_t n) { return tk_widen_ascii(std::to_string(n)); }

[[noreturn]] void conversion_failed(const udb_field& source, VARTYPE vt) {
  TK_TRACE(3, "Cannot convert value '%s' of field '%s' (type %d) to type %d", source.to_wstring(), source.name(),
           source.get_type(), vt);
  throw tk_exception("Data conversion is not supported for given type mapping", 1);
}

// A moment written year first: Y-M-D, and a time of day H:M[:S[.f]] after a
// blank or 'T'; '/' or '.' may stand for '-'. The year has four digits, every
// part lies in its range, blanks around the whole are let be.
bool read_moment(std::u16string_view text, ole_date& out) {
  while (!text.empty() && (text.front() == u' ' || text.front() == u'\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == u' ' || text.back() == u'\t')) text.remove_suffix(1);
  size_t i = 0;
  auto number = [&](size_t min_digits, size_t max_digits, int& value) {
    const size_t at = i;
    value = 0;
    while (i < text.size() && i - at < max_digits && text[i] >= u'0' && text[i] <= u'9')
      value = value * 10 + (text[i++] - u'0');
    return i - at >= min_digits;
  };
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (!number(4, 4, year) || i >= text.size()) return false;
  const char16_t separator = text[i];
  if (separator != u'-' && separator != u'/' && separator != u'.') return false;
  ++i;
  if (!number(1, 2, month) || i >= text.size() || text[i++] != separator || !number(1, 2, day)) return false;
  uint32_t microseconds = 0;
  bool clock = false;
  if (i < text.size()) {
    if (text[i] != u' ' && text[i] != u'T') return false;
    ++i;
    if (!number(1, 2, hour) || i >= text.size() || text[i++] != u':' || !number(1, 2, minute)) return false;
    if (i < text.size() && text[i] == u':') {
      ++i;
      if (!number(1, 2, second)) return false;
      if (i < text.size() && text[i] == u'.') {
        ++i;
        const size_t at = i;
        int digits = 0;
        if (!number(1, 6, digits)) return false;
        for (size_t k = i - at; k < 6; ++k) digits *= 10;
        microseconds = static_cast<uint32_t>(digits);
      }
    }
    clock = true;
  }
  if (i != text.size() || month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59) return false;
  out = ole_date::make(year, month, day, hour, minute, second, microseconds,
                       clock ? ole_date::kind_date_time : ole_date::kind_date);
  // The day must be one of its month (February 30 is none).
  return out.is_valid();
}

// Sets `out` to `x` rounded half away from zero, as integer tag `vt`
// (whose range holds it): the 64-bit ones directly, the others through
// the change of type, which rounds so.
void set_rounded(udb_field& out, double x, VARTYPE vt) {
  const double r = std::trunc(x >= 0 ? x + 0.5 : x - 0.5);
  if (vt == VT_I8) {
    out.set_i8(static_cast<int64_t>(r));
  } else if (vt == VT_UI8) {
    out.set_ui8(static_cast<uint64_t>(r));
  } else {
    out.set_r8(x);
    out.change_type(vt);
  }
}

}  // namespace

udb_field_mutator::udb_field_mutator(std::u16string source_name)
    : source_name_(std::move(source_name)), new_name_(source_name_) {}

udb_field_mutator::~udb_field_mutator() = default;

void udb_field_mutator::set_mapping(std::u16string_view new_name, const udb_field_mapping& mapping) {
  new_name_.assign(new_name);
  mapping_ = mapping;
  length_ = mapping_.length;
  vartype_ = VT_NULL;
  if (retypes()) resolve_type();
  // The column descriptor tells a date from a time by its reserved word.
  reserved_ = 0;
  if (vartype_ == VT_DATE) {
    // By the type's first word ("TIME(3) NOT NULL").
    std::u16string_view word = mapping_.type;
    word = word.substr(0, std::min(word.find_first_of(u" ("), word.size()));
    reserved_ = tk_wstring::equal_no_case(word, u"TIME")   ? t_ftd::date_kind_time
                : tk_wstring::equal_no_case(word, u"DATE") ? t_ftd::date_kind_date
                                                           : t_ftd::date_kind_date_time;
  }

  set_property(u"new_name", new_name_);
  set_property(u"type", mapping_.type);
  set_property(u"default_value", mapping_.default_value);
  set_property(u"character_set", mapping_.character_set);
  set_property(u"length", decimal_text(length_));
  set_property(u"scale", decimal_text(mapping_.scale));
  set_property(u"precision", decimal_text(mapping_.precision));
}

void udb_field_mutator::resolve_type() { vartype_ = VT_NULL; }

std::u16string udb_field_mutator::native_type_text(uint32_t) const { return mapping_.type; }

std::u16string udb_field_mutator::native_type(uint32_t column_size) const {
  return native_type_text(length_ != 0 ? length_ : column_size);
}

void udb_field_mutator::modify1(t_ftd& column) const {
  column.name = new_name_;
  TK_TRACE(1, "new_name=%s", column.name);
  if (retypes()) {
    if (vartype_ != VT_NULL) column.vartype = vartype_;
    if (length_ != 0) column.size = length_;
    column.native_type = native_type_text(column.size);
    TK_TRACE(1, "\tf.native_type=%s", column.native_type);
    TK_TRACE(1, "\tf.size=%d", column.size);
    TK_TRACE(1, "\told dw_reserved=%d, new dw_reserved=%d", column.reserved, reserved_);
    column.reserved = reserved_;
  }
  if (!mapping_.default_value.empty()) column.def_value.set_text(mapping_.default_value);
  if (mapping_.precision != 0 || mapping_.scale != 0) {
    TK_TRACE(1, "Setting new prec/scale: (%d,%d)", mapping_.precision, mapping_.scale);
    column.precision = mapping_.precision;
    column.scale = mapping_.scale;
  }
}

void udb_field_mutator::modify2(const udb_field& source, udb_field& out) const {
  out.set_name(new_name_);
  out.set_declared_size(retypes() && length_ != 0 ? length_ : source.declared_size());
  out.set_not_null(source.is_not_null());
  out.set_auto_increment(source.is_auto_increment());
  if (!retypes() || vartype_ == VT_NULL) {
    out.set_value(source);
    return;
  }
  convert_value(source, out);
}

void udb_field_mutator::convert_value(const udb_field& source, udb_field& out) const {
  const VARTYPE from = source.get_type();
  // A boolean is 1 or 0 (the variant's own true is -1), and a text that
  // shows a workbook's number or boolean (a column of mixed kinds) is that
  // value, under any type but text.
  if ((from == VT_BOOL && vartype_ != VT_BOOL) ||
      (from == VT_BSTR && source.shows() != udb_field::shown::itself && vartype_ != VT_BSTR)) {
    udb_field value;
    if (from == VT_BOOL)
      value.set_i4(source.get_bool() ? 1 : 0);
    else if (source.shows() == udb_field::shown::boolean)
      value.set_i4(source.shown_value() != 0 ? 1 : 0);
    else
      value.set_r8(source.shown_value());
    return convert_value(value, out);
  }
  if (from == VT_EMPTY || from == VT_NULL || from == vartype_) {
    out.set_value(source);
    return;
  }
  if (from == VT_BSTR) {
    // A blank cell of a text column is no value, not a failed number.
    if (source.text().empty()) {
      out.clear();
      return;
    }
    // A duration goes to a TIME column as the text it is, which the server
    // reads whole: as a moment it kept only its time of day (36:00:00 gave
    // 12:00:00). One beyond TIME's range is refused.
    if (vartype_ == VT_DATE && reserved_ == t_ftd::date_kind_time) {
      if (const int duration = ole_date::duration(source.text()); duration != 0) {
        if (duration < 0) conversion_failed(source, vartype_);
        out.set_value(source);
        return;
      }
    }
    // Text under an integer type is read as a number (or fails as none):
    // one past the type's range keeps its value, refused with its record as
    // a number is; a 64-bit one keeps all its digits; any other is rounded
    // half away from zero, as a number is (2.5 is 3).
    if (is_integer_tag(vartype_)) {
      ole_variant number;
      if (ole_coerce::convert(source, VT_R8, number) != ole_coerce::s_ok) conversion_failed(source, vartype_);
      const double x = number.get_r8();
      if (!ole_coerce::fits_integer(x, vartype_)) {
        out.set_value(number);
        return;
      }
      // A whole 64-bit number keeps all its digits.
      if ((vartype_ == VT_I8 || vartype_ == VT_UI8) && x == std::trunc(x)) {
        if (ole_coerce::convert(source, vartype_, out) != ole_coerce::s_ok) conversion_failed(source, vartype_);
        return;
      }
      out.set_value(number);
      set_rounded(out, x, vartype_);
      return;
    }
    // Text under a date type is taken in the server's own order only (the
    // year first): a guess at the order of "01/02/2024" was right for some
    // values of a column and wrong for others, and an hour of 25 wrapped.
    if (vartype_ == VT_DATE) {
      ole_date date;
      if (!read_moment(source.text(), date)) conversion_failed(source, vartype_);
      out.set_value(ole_variant(date));
      return;
    }
  }
  // A moment under a text type is written as a date column holds it
  // (2024-01-05, 2024-01-05 10:30:00), not in a locale's order and clock
  // (1/5/2024 10:30:00 AM).
  if (from == VT_DATE && vartype_ == VT_BSTR) {
    out.set_value(ole_variant(std::u16string_view(source.get_date().to_wstring(6))));
    return;
  }
  // A workbook's number under a date or time type is the date or duration
  // its serial means, which the literal writes.
  if (vartype_ == VT_DATE && ole_variant::is_numeric(from) && from != VT_BOOL) {
    out.set_value(source);
    return;
  }
  // A number past an integer type's range keeps its value, which the server
  // refuses in its own words (and a dump leaves out): the change of type
  // would wrap it around, 32768 becoming -32768 in a SMALLINT.
  if (is_integer_tag(vartype_) && (from == VT_R4 || from == VT_R8) &&
      !ole_coerce::fits_integer(source.to_double(), vartype_)) {
    out.set_value(source);
    return;
  }
  // A fraction under a 64-bit type is rounded half away from zero, as under
  // the others (the change of type rounds it to even: 2.5 was 2).
  if ((vartype_ == VT_I8 || vartype_ == VT_UI8) && (from == VT_R4 || from == VT_R8)) {
    out.set_value(source);
    set_rounded(out, source.to_double(), vartype_);
    return;
  }
  out.set_value(source);
  try {
    out.change_type(vartype_);
  } catch (const ole_cast_exception&) {
    conversion_failed(source, vartype_);
  }
}

#include "udb_field_mutator.h"

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
    const std::u16string_view type = mapping_.type;
    const bool time = tk_wstring::starts_with(type, u"TIME", true) && (type.size() == 4 || type[4] == u'(');
    reserved_ = time ? t_ftd::date_kind_time
                : tk_wstring::starts_with(type, u"DATE", true) && (type.size() == 4 || type[4] == u'(')
                    ? t_ftd::date_kind_date
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
    // The variant's own change of type leaves text in the 8- to 32-bit
    // integer kinds untouched and refuses it for the 64-bit ones; the
    // generic conversion reads the number (or fails on what is not one).
    if (is_integer_tag(vartype_)) {
      if (ole_coerce::convert(source, vartype_, out) != ole_coerce::s_ok) conversion_failed(source, vartype_);
      return;
    }
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
  out.set_value(source);
  try {
    out.change_type(vartype_);
  } catch (const ole_cast_exception&) {
    conversion_failed(source, vartype_);
  }
}

#include "sql_field.h"

#include <mysql.h>

#include "tk_logger.h"
#include "tk_unicode.h"

namespace {

bool is_blob_type(int mysql_type) {
  return mysql_type == MYSQL_TYPE_TINY_BLOB || mysql_type == MYSQL_TYPE_MEDIUM_BLOB ||
         mysql_type == MYSQL_TYPE_LONG_BLOB || mysql_type == MYSQL_TYPE_BLOB;
}

}  // namespace

sql_field::sql_field(std::u16string name, int mysql_type, size_t length, unsigned flags, const char* data,
                     bool blob_to_text) {
  TK_TRACE(1, "sql_field::ctor2(%s,%d,%d)", name, mysql_type, length);
  set_name(name);
  read_cell(value(), mysql_type, length, flags, data, blob_to_text);
}

VARTYPE sql_field::vartype_of(int mysql_type, unsigned flags) {
  TK_TRACE(1, "get_vartype(%d,%d)", mysql_type, flags);
  const bool is_unsigned = (flags & unsigned_flag) != 0;
  switch (mysql_type) {
    case MYSQL_TYPE_DECIMAL:
    case MYSQL_TYPE_NEWDECIMAL:
      return VT_DECIMAL;
    case MYSQL_TYPE_TINY:
      return is_unsigned ? VT_UI1 : VT_I1;
    case MYSQL_TYPE_SHORT:
      return is_unsigned ? VT_UI2 : VT_I2;
    case MYSQL_TYPE_LONG:
      return is_unsigned ? VT_UI4 : VT_I4;
    case MYSQL_TYPE_FLOAT:
      return VT_R4;
    case MYSQL_TYPE_DOUBLE:
      return VT_R8;
    case MYSQL_TYPE_TIMESTAMP:
    case MYSQL_TYPE_DATE:
    case MYSQL_TYPE_TIME:
    case MYSQL_TYPE_DATETIME:
      return VT_DATE;
    case MYSQL_TYPE_LONGLONG:
      return is_unsigned ? VT_UI8 : VT_I8;
    case MYSQL_TYPE_INT24:
      return VT_I4;
    case MYSQL_TYPE_YEAR:
      return VT_UI2;
    case MYSQL_TYPE_BIT:
      return VT_BOOL;
    case MYSQL_TYPE_TINY_BLOB:
    case MYSQL_TYPE_MEDIUM_BLOB:
    case MYSQL_TYPE_LONG_BLOB:
    case MYSQL_TYPE_BLOB:
      return VT_ARRAY_UI1;
    case MYSQL_TYPE_VAR_STRING:
      return (flags & binary_flag) ? VT_ARRAY_UI1 : VT_BSTR;
    default:
      return VT_BSTR;
  }
}

void sql_field::read_cell(ole_variant& out, int mysql_type, size_t length, unsigned flags, const char* data,
                          bool blob_to_text) {
  TK_TRACE(1, "get_variant(2), type=%d, lenght=%d", mysql_type, length);
  if (!data) {
    TK_TRACE(1, "process NULL-values");
    out.set_null();
    return;
  }
  const bool binary = (flags & binary_flag) != 0 &&
                      (mysql_type == MYSQL_TYPE_VAR_STRING || (is_blob_type(mysql_type) && !blob_to_text));
  if (binary) {
    std::vector<uint8_t>& bytes = out.bytes_for_write();
    bytes.assign(reinterpret_cast<const uint8_t*>(data), reinterpret_cast<const uint8_t*>(data) + length);
    return;
  }
  const std::string_view cell(data, length);
  std::u16string& text = out.text_for_write();
  if (!tk_append_utf16(text, cell)) (void)tk_utf8_to_unicode(cell);  // raises the conversion error
}

#include "sql_field.h"

#include "ole_variant.h"
#include "sql_util.h"
#include "t_ftd.h"
#include "tk_logger.h"

sql_field::sql_field(std::u16string name, int mysql_type, size_t length, unsigned flags, const char* data) {
  TK_TRACE(1, "sql_field::ctor2(%s,%d,%d)", name, mysql_type, length);
  assign(name, mysql_type, length, flags, data);
}

sql_field::sql_field(std::u16string name, int mysql_type, size_t length, unsigned flags, const char16_t* data) {
  TK_TRACE(1, "sql_field::ctor1(%s,%d,%d)", name, mysql_type, length);
  assign(name, mysql_type, length, flags, data);
}

sql_field::sql_field(const t_ftd& column, size_t length, const char* data) {
  TK_TRACE(1, "sql_field::ctor3(%s,%d,%d)", column.name, column.vartype, length);
  set_name(column.name);
  set_declared_size(column.size);
  if (ole_variant::is_binary(column.vartype)) {
    get_variant(value(), blob_type, length, sql_binary_flag, data);
  } else if (!data) {
    set_null();
  } else {
    from_string(std::string_view(data, length), column.vartype);
  }
}

void sql_field::assign(std::u16string_view name, int mysql_type, size_t length, unsigned flags, const char* data) {
  set_name(name);
  get_variant(value(), mysql_type, length, flags, data);
}

void sql_field::assign(std::u16string_view name, int mysql_type, size_t length, unsigned flags, const char16_t* data) {
  set_name(name);
  get_variant(value(), mysql_type, length, flags, data);
}

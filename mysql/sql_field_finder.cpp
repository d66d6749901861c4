#include "sql_field_finder.h"

#include "sql_dialect.h"
#include "tk_logger.h"
#include "udb_name_compare.h"
#include "udb_record.h"
#include "udb_validator.h"

sql_field_finder::sql_field_finder(const udb_record& record, const sql_dialect& dialect) {
  TK_TRACE(2, "sql_field_finder::ctor");
  TK_TRACE(2, "sql_field_finder::initialize");
  const auto validator = dialect.create_fn_validator(record);
  names_.reserve(record.size());
  own_names_.reserve(record.size());
  for (size_t i = 0; i < record.size(); ++i) {
    const std::u16string_view source = record[i].name();
    own_names_.emplace_back(source);
    names_.emplace_back(validator->get_mapped_name(source));
    TK_TRACE(1, "GOT SAFE NAME: %s->%s", source, names_.back());
  }
}

ptrdiff_t sql_field_finder::get_field_idx(std::u16string_view column) const {
  TK_TRACE(1, "sql_field_finder::get_field_idx(%s)", column);
  for (size_t i = 0; i < own_names_.size(); ++i)
    if (udb_detail::same_name(own_names_[i], column)) return static_cast<ptrdiff_t>(i);
  for (size_t i = 0; i < names_.size(); ++i)
    if (udb_detail::same_name(names_[i], column)) return static_cast<ptrdiff_t>(i);
  return -1;
}

#include "sql_schema_initializer.h"

#include <memory>

#include "sql_exception.h"
#include "tk_logger.h"
#include "tk_mail_assertion.h"
#include "udb_name_compare.h"
#include "udb_validator.h"

sql_schema_initializer::sql_schema_initializer(const udb_schema& schema, const udb_indexes& indexes,
                                               const sql_dialect& dialect)
    : schema_(schema), indexes_(indexes), dialect_(dialect) {
  TK_TRACE(2, "sql_schema_initializer::ctor");
  const std::unique_ptr<udb_validator> validator = dialect_.create_fn_validator(schema_);
  names_.reserve(schema_.size());
  for (const auto& field : schema_.fields) {
    TK_TRACE(1, "GOT FIELD: name=%s, type=%d, size=%d, flags=%d, description=%s", field->name, field->vartype,
             field->size, field->reserved, field->description);
    names_.emplace_back(validator->get_mapped_name(field->name));
    if (names_.back() != field->name) {
      TK_TRACE(1, "Store generated column name '%s'", names_.back());
      generated_.emplace_back(names_.back(), field->name);
    }
  }
}

std::u16string_view sql_schema_initializer::column_name(std::u16string_view source) const {
  // Source names may differ only in case: the exact one first.
  for (size_t i = 0; i < schema_.size(); ++i)
    if (schema_.fields[i]->name == source) return names_[i];
  for (size_t i = 0; i < schema_.size(); ++i)
    if (udb_detail::same_name(schema_.fields[i]->name, source)) return names_[i];
  return source;
}

bool sql_schema_initializer::can_have_def_value(const t_ftd& field) const {
  TK_TRACE(1, "sql_schema_initializer::can_have_def_value");
  if (field.b_auto_increment) {
    TK_TRACE(1, "WARNING: auto_increment columns cannot have default value!");
    return false;
  }
  if (field.vartype == VT_BLOB || field.vartype == VT_BLOB_OBJECT) return false;
  // Such text columns become TEXT kinds, which take no default.
  if (field.vartype == VT_BSTR && (field.size == 0 || field.size > sql_max_varchar_chars)) return false;
  return true;
}

bool sql_schema_initializer::can_have_auto_num(const t_ftd& field) const {
  TK_TRACE(1, "sql_schema_initializer::can_have_auto_num");
  if (!field.b_auto_increment) return false;
  switch (field.vartype) {
    case VT_I2:
    case VT_I4:
    case VT_BOOL:
    case VT_I1:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
      return true;
    default:
      return false;
  }
}

std::string sql_schema_initializer::column_definition(size_t i) {
  const t_ftd& field = *schema_.fields[i];
  TK_TRACE(1, "Processing field '%s'", field.name);
  // A type the type mappings give is written as given.
  const std::u16string type = field.native_type.empty() ? dialect_.column_type(field, false) : field.native_type;
  TK_TRACE(1, "native_type=%s", type);

  std::u16string char_set;
  if (dialect_.quotes_names() && column_character_set &&
      (type.find(u"CHAR") != std::u16string::npos || type.find(u"TEXT") != std::u16string::npos))
    char_set = column_character_set(field.name);

  bool not_null = field.b_not_null || field.b_auto_increment;
  if (!not_null) {
    TK_TRACE(1, "udb_indexes::is_idx_field(%s)", field.name);
    // Servers before 3.23.2 need NOT NULL on every indexed column.
    not_null = indexes_.is_idx_field(field.name, dialect_.version() < sql_dialect::version_3_23_2);
    TK_TRACE(1, not_null ? "index field" : "non-index field");
  }

  std::u16string def;
  if (can_have_def_value(field)) {
    def = dialect_.default_value(field);
    TK_TRACE(1, "got def value: %s", def);
    if (def.empty())
      if (std::string refused = dialect_.default_refusal(field, names_[i]); !refused.empty())
        throw sql_exception(std::move(refused), 1067);
  }

  const bool auto_increment = can_have_auto_num(field);
  if (auto_increment) {
    if (auto_number_ >= 0 && static_cast<size_t>(auto_number_) != i) throw tk_mail_assertion("sql_sche", __LINE__);
    auto_number_ = static_cast<ptrdiff_t>(i);
  }
  if (!field.description.empty()) TK_TRACE(1, "Setting column's comment: '%s'", field.description);
  std::string sql =
      dialect_.column_definition(names_[i], type, char_set, not_null, def, auto_increment, field.description);
  TK_TRACE(1, "sql_query=%s", sql);
  return sql;
}

const std::vector<std::string>& sql_schema_initializer::get_init_chunks() {
  if (!chunks_.empty() || schema_.empty()) return chunks_;
  TK_TRACE(2, "sql_schema_initializer::get_init_chunks(n_columns=%d)", schema_.size());
  chunks_.reserve(schema_.size());
  for (size_t i = 0; i < schema_.size(); ++i) chunks_.push_back(column_definition(i));
  return chunks_;
}

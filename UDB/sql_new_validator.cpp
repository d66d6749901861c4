#include "sql_new_validator.h"

#include "tk_logger.h"
#include "udb_record.h"
#include "udb_schema.h"

namespace {
// Column and index names exclude only the first eight forbidden characters.
constexpr size_t column_forbidden = 8;
}  // namespace

sql_new_validator::sql_new_validator() : udb_validator(static_cast<uint32_t>(max_name_length)) {}

bool sql_new_validator::is_acceptable(std::u16string_view name) const {
  if (name.empty() || name.size() > max_name_length) {
    TK_TRACE(1, "Invalid length");
    return false;
  }
  if (name.front() == u' ' || name.back() == u' ') {
    TK_TRACE(1, "ID cannot starts or ends with ' '");
    return false;
  }
  return udb_validator::is_acceptable(name);
}

std::u16string sql_new_validator::get_safe_name(std::u16string_view name) const {
  size_t b = name.find_first_not_of(u' ');
  if (b == std::u16string_view::npos) return make_safe(std::u16string());
  size_t e = name.find_last_not_of(u' ');
  return make_safe(std::u16string(name.substr(b, e - b + 1)));
}

sql_new_tn_validator::sql_new_tn_validator(const std::vector<std::u16string>& tables,
                                           const std::vector<std::u16string>& views) {
  TK_TRACE(1, "sql_new_tn_validator::ctor");
  forbidden_.assign(std::begin(forbidden_chars), std::end(forbidden_chars));
  for (const auto& t : tables) add_existing_name(t);
  for (const auto& v : views) add_existing_name(v);
}

sql_new_fn_validator::sql_new_fn_validator() { forbidden_.assign(forbidden_chars, forbidden_chars + column_forbidden); }

sql_new_fn_validator::sql_new_fn_validator(const udb_record& record) : sql_new_fn_validator() {
  TK_TRACE(1, "sql_new_fn_validator::ctor( const udb_record& )");
  TK_TRACE(1, "Record size=%d", record.size());
  for (size_t i = 0; i < record.size(); ++i) {
    TK_TRACE(1, "Process record[%d]", i);
    register_source_name(record[i].name());
  }
}

sql_new_fn_validator::sql_new_fn_validator(const udb_schema& schema) : sql_new_fn_validator() {
  TK_TRACE(1, "sql_new_fn_validator::ctor( const udb_schema& )");
  TK_TRACE(1, "Schema size=%d", schema.size());
  for (size_t i = 0; i < schema.size(); ++i) {
    TK_TRACE(1, "Process schema[%d]", i);
    if (schema.fields[i]) register_source_name(schema.fields[i]->name);
  }
}

sql_new_in_validator::sql_new_in_validator(const std::vector<std::u16string>& indexes) {
  TK_TRACE(1, "sql_new_in_validator::ctor");
  forbidden_.assign(forbidden_chars, forbidden_chars + column_forbidden);
  for (const auto& name : indexes) add_existing_name(name);
}

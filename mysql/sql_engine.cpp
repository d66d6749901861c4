#include "sql_engine.h"

#include "sql_new_validator.h"
#include "sql_old_validator.h"
#include "tk_exception.h"
#include "tk_logger.h"

sql_engine::sql_engine() { initialize(); }

sql_engine::~sql_engine() {
  TK_TRACE(2, "sql_engine::dtor");
  mysql_close(&mysql_);
  TK_TRACE(2, "sql_engine::dtor - END");
}

void sql_engine::initialize() {
  TK_TRACE(2, "sql_engine::initialize");
  mysql_init(&mysql_);
}

std::unique_ptr<udb_database> sql_engine::create_db(const std::u16string&, uint32_t) {
  throw tk_exception("Writing into a live MySQL server is not available in this build.", 1);
}

std::unique_ptr<udb_database> sql_engine::open_db(const std::u16string&, uint32_t) {
  throw tk_exception("Writing into a live MySQL server is not available in this build.", 1);
}

void sql_engine::db_delete(const std::u16string&) {
  throw tk_exception("Writing into a live MySQL server is not available in this build.", 1);
}

bool sql_engine::is_db_exist(const std::u16string&) {
  throw tk_exception("Writing into a live MySQL server is not available in this build.", 1);
}

void sql_engine::set_properties(const udb_properties* properties) {
  TK_TRACE(2, "sql_engine::set_properties");
  udb_engine::set_properties(properties);
}

void sql_engine::connect(const std::string&, const std::string&, const std::string&, unsigned) {
  throw tk_exception("Writing into a live MySQL server is not available in this build.", 1);
}

std::unique_ptr<udb_database> sql_engine::create_dump(const std::u16string&, const dump_options&) {
  throw tk_exception("Writing dump files is not available in this build.", 1);
}

uint32_t sql_engine::get_max_allowed_packet() {
  TK_TRACE(2, "sql_engine::get_max_allowed_packet");
  return max_allowed_packet_;
}

std::u16string sql_engine::get_safe_name(std::u16string_view name) const {
  TK_TRACE(1, "sql_engine::get_safe_name(%s)", name);
  if (name.empty() || name.front() == u'`') {
    TK_TRACE(1, "Preserve the original name");
    return std::u16string(name);
  }
  if (name.size() > 64) name = name.substr(0, 63);
  std::u16string quoted;
  quoted.reserve(name.size() + 2);
  quoted += u'`';
  quoted += name;
  quoted += u'`';
  TK_TRACE(1, "Returns [%s]", quoted);
  return quoted;
}

bool sql_engine::is_old_version() const {
  TK_TRACE(1, "is_old_version(%08X)", version);
  return version < version_4_1_0;
}

std::unique_ptr<udb_validator> sql_engine::create_tn_validator(const std::vector<std::u16string>& tables,
                                                               const std::vector<std::u16string>& views) const {
  TK_TRACE(2, "sql_engine::create_tn_validator");
  if (is_old_version()) return std::make_unique<sql_old_tn_validator>(tables, views);
  return std::make_unique<sql_new_tn_validator>(tables, views);
}

std::unique_ptr<udb_validator> sql_engine::create_fn_validator(const udb_record& record) const {
  TK_TRACE(2, "sql_engine::create_fn_validator( const udb_record& )");
  if (is_old_version()) return std::make_unique<sql_old_fn_validator>(record);
  return std::make_unique<sql_new_fn_validator>(record);
}

std::unique_ptr<udb_validator> sql_engine::create_fn_validator(const udb_schema& schema) const {
  TK_TRACE(2, "sql_engine::create_fn_validator( const udb_schema& )");
  if (is_old_version()) return std::make_unique<sql_old_fn_validator>(schema);
  return std::make_unique<sql_new_fn_validator>(schema);
}

std::unique_ptr<udb_validator> sql_engine::create_in_validator(const std::vector<std::u16string>& indexes) const {
  TK_TRACE(2, "sql_engine::create_in_validator");
  if (is_old_version()) return std::make_unique<sql_old_in_validator>(indexes);
  return std::make_unique<sql_new_in_validator>(indexes);
}

void sql_engine::set_blob_to_text(bool on) {
  TK_TRACE(1, "sql_engine::set_blob_to_text(%d)", on);
  blob_to_text = on;
}

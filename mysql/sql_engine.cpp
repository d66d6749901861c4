#include "sql_engine.h"

#include <errmsg.h>

#include <cstdio>
#include <cstdlib>

#include "sql_database.h"
#include "sql_exception.h"
#include "sql_handles.h"
#include "sql_new_validator.h"
#include "sql_old_validator.h"
#include "sql_tmp_recordset.h"
#include "tk_exception.h"
#include "tk_logger.h"
#include "tk_mail_assertion.h"
#include "tk_unicode.h"
#include "tk_wstring.h"
#include "udb_properties.h"

namespace {

// The idle time-out is raised to at least 8 hours, never lowered: a long
// workbook may keep the connection quiet between tables for a while.
constexpr std::string_view wait_timeout_statement =
    "set session wait_timeout=cast(if(@@session.wait_timeout < 28800,28800,@@session.wait_timeout) as unsigned);";

}  // namespace

sql_engine::sql_engine() { initialize(); }

sql_engine::~sql_engine() {
  TK_TRACE(2, "sql_engine::dtor");
  if (connected) {
    // The session's foreign-key checks go back on; a failure here has no one
    // left to report to.
    static constexpr std::string_view fk_on = "SET FOREIGN_KEY_CHECKS = 1";
    if (mysql_real_query(&mysql_, fk_on.data(), fk_on.size()) == 0) mysql_free_result(mysql_use_result(&mysql_));
  }
  mysql_close(&mysql_);
  TK_TRACE(2, "sql_engine::dtor - END");
}

void sql_engine::initialize() {
  TK_TRACE(2, "sql_engine::initialize");
  mysql_init(&mysql_);
  TK_TRACE(1, "sql_engine::initialize - 1");
  mysql_options(&mysql_, MYSQL_READ_DEFAULT_GROUP, read_default_group);
  TK_TRACE(1, "sql_engine::initialize - 2");
  unsigned timeout = connect_timeout_seconds;
  mysql_options(&mysql_, MYSQL_OPT_CONNECT_TIMEOUT, &timeout);
  TK_TRACE(2, "sql_engine::initialize - END");
}

void sql_engine::execute(std::string_view sql) {
  if (mysql_real_query(&mysql_, sql.data(), static_cast<unsigned long>(sql.size())) != 0) throw sql_exception(&mysql_);
  sql_result result(mysql_use_result(&mysql_));
  if (mysql_errno(&mysql_) != 0) throw sql_exception(&mysql_);
}

void sql_engine::connect(const std::string& host, const std::string& user, const std::string& password, unsigned port) {
  TK_TRACE(2, "sql_engine::connect(%s,%s,%s,%d)", host, user, password, port);
  if (connected) {
    TK_TRACE(1, "Connection was established already - disconnecting first...");
    mysql_close(&mysql_);
    initialize();
    connected = false;
    max_allowed_packet_ = 0;
  }
  TK_TRACE(1, "Connecting to MySQL server...");
  if (!mysql_real_connect(&mysql_, host.c_str(), user.c_str(), password.c_str(), nullptr, port, nullptr,
                          CLIENT_REMEMBER_OPTIONS)) {
    // The MariaDB client reports a refused or unreachable TCP server as
    // "can't connect" to a local socket (2002); the error texts know a
    // network host that does not answer as 2003, as the MySQL client says.
    if (mysql_errno(&mysql_) == CR_CONNECTION_ERROR && !host.empty() && host != "localhost")
      throw sql_exception(mysql_error(&mysql_), CR_CONN_HOST_ERROR);
    throw sql_exception(&mysql_);
  }
  connected = true;

  TK_TRACE(1, "Setting UTF-8 collation...");
  try {
    execute(set_names_statement());
  } catch (const sql_exception& e) {
    TK_TRACE(3, "Failed to set UTF-8 collation");
    TK_TRACE(3, "Cannot set UTF-8 collation: %s", e.message());
  }
  TK_TRACE(1, "Setting wait_timeout...");
  try {
    execute(wait_timeout_statement);
  } catch (const sql_exception& e) {
    TK_TRACE(3, "Failed to set wait_timeout");
    TK_TRACE(3, "Cannot set wait_timeout: %s", e.message());
  }

  const char* info = mysql_get_server_info(&mysql_);
  if (!info || !*info) return;
  TK_TRACE(1, "Got MySQL server version: %s", info);
  version = parse_version(info);
  TK_TRACE(1, "Hex version: %08X", version);
  if (version == version_4_1_0 && !password.empty()) throw sql_auth_not_supported_exception();
  try {
    execute("SET FOREIGN_KEY_CHECKS = 0");
  } catch (const sql_exception& e) {
    TK_TRACE(3, "Cannot turn off foreign key check: %s", e.message());
  }
}

uint32_t sql_engine::parse_version(const char* text) {
  int major = 0, minor = 0, patch = 0;
  if (std::sscanf(text, "%d.%d.%d", &major, &minor, &patch) < 3) {
    TK_TRACE(3, "Invalid MySQL version: %s", text);
    throw tk_mail_assertion("sql_engi", __LINE__);
  }
  return static_cast<uint32_t>(major) * 65536u + static_cast<uint32_t>(minor) * 256u + static_cast<uint32_t>(patch);
}

std::string sql_engine::set_names_statement() const {
  return tk_wstring::equal_no_case(char_set, u"utf8mb4") ? "SET NAMES UTF8MB4" : "SET NAMES UTF8";
}

void sql_engine::set_properties(const udb_properties* properties) {
  TK_TRACE(2, "sql_engine::set_properties");
  udb_engine::set_properties(properties);
  if (!properties) return;
  auto find = [&](std::u16string_view key) -> const std::u16string* {
    for (const auto& [k, v] : properties->properties())
      if (k == key) return &v;
    return nullptr;
  };
  if (const std::u16string* value = find(u"engine")) {
    TK_TRACE(1, "Set tab.type='%s'", *value);
    engine = *value;
  } else {
    TK_TRACE(1, "Set InnoDB as default");
    engine = u"InnoDB";
  }
  if (const std::u16string* value = find(u"character set")) char_set = *value;
}

const udb_properties* sql_engine::get_table_properties(std::u16string_view table) const {
  return properties_ ? properties_->get_table_properties(table) : nullptr;
}

void sql_engine::append_db_name(std::string& out, std::u16string_view name) const {
  const bool quoted = version >= version_4_1_0;
  if (quoted) out += '`';
  tk_append_utf8(out, name);
  if (quoted) out += '`';
}

std::string sql_engine::create_db_statement(std::u16string_view name) const {
  std::string sql = "CREATE DATABASE ";
  append_db_name(sql, name);
  sql += " character set ";
  tk_append_utf8(sql, char_set);
  return sql;
}

std::string sql_engine::drop_db_statement(std::u16string_view name) const {
  std::string sql = "DROP DATABASE ";
  append_db_name(sql, name);
  return sql;
}

std::unique_ptr<udb_database> sql_engine::create_db(const std::u16string& name, uint32_t) {
  TK_TRACE(2, "sql_engine::create_db (%s)", name);
  TK_TRACE(3, "Creating MySQL database '%s'", name);
  const std::string sql = create_db_statement(name);
  TK_TRACE(1, "Run SQL-query: %s", sql);
  execute(sql);
  return open_db(name, udb_database::mode_created);
}

std::unique_ptr<udb_database> sql_engine::open_db(const std::u16string& name, uint32_t mode) {
  TK_TRACE(2, "sql_engine::open_db (%s)", name);
  TK_TRACE(3, "Opening MySQL database '%s'", name);
  if (mysql_select_db(&mysql_, tk_unicode_to_utf8(name).c_str()) != 0) throw sql_exception(&mysql_);
  return std::make_unique<sql_database>(name, &mysql_, mode);
}

void sql_engine::db_delete(const std::u16string& name) {
  TK_TRACE(2, "sql_engine::db_delete(%s)", name);
  TK_TRACE(3, "Deleting MySQL database '%s'", name);
  execute("SET FOREIGN_KEY_CHECKS = 0");
  execute(drop_db_statement(name));
  execute("SET FOREIGN_KEY_CHECKS = 1");
}

bool sql_engine::is_db_exist(const std::u16string& name) {
  TK_TRACE(2, "sql_engine::is_db_exist(%s)", name);
  const int result = mysql_select_db(&mysql_, tk_unicode_to_utf8(name).c_str());
  TK_TRACE(1, "n_result=%d", result);
  return result == 0;
}

uint32_t sql_engine::get_max_allowed_packet() {
  TK_TRACE(2, "sql_engine::get_max_allowed_packet");
  if (max_allowed_packet_ != 0 || !connected) return max_allowed_packet_;
  sql_tmp_recordset rs("SHOW VARIABLES LIKE 'max_allowed_packet'");
  if (!rs.is_eof()) {
    const udb_record* row = rs.get_record();
    if (row && row->size() >= 2) {
      const std::string text = (*row)[1].to_string();
      max_allowed_packet_ = static_cast<uint32_t>(std::atoi(text.c_str()));
    }
  }
  TK_TRACE(1, "max_packet_size=%d", max_allowed_packet_);
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

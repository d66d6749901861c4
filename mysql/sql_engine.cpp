#include "sql_engine.h"

#include <errmsg.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "dmp_database.h"
#include "sql_canceller.h"
#include "sql_database.h"
#include "sql_exception.h"
#include "sql_handles.h"
#include "sql_tmp_recordset.h"
#include "tk_exception.h"
#include "tk_format.h"
#include "tk_interrupt.h"
#include "tk_logger.h"
#include "tk_mail_assertion.h"
#include "tk_unicode.h"
#include "udb_properties.h"

namespace {

// What a dump's header shows: the full path of the file and today's local
// date. GRIDLOAD_DUMP_FILE_NAME and GRIDLOAD_DUMP_DATE replace them, so that
// a dump written by a test is the same bytes on every run.
dmp_database::header_stamp make_stamp(const std::u16string& path) {
  dmp_database::header_stamp stamp;
  if (const char* name = std::getenv("GRIDLOAD_DUMP_FILE_NAME"); name && *name) {
    stamp.file_name = name;
  } else {
    std::error_code error;
    const std::filesystem::path full = std::filesystem::absolute(tk_unicode_to_utf8(path), error);
    stamp.file_name = error ? tk_unicode_to_utf8(path) : full.string();
  }
  if (const char* date = std::getenv("GRIDLOAD_DUMP_DATE"); date && *date) {
    stamp.creation_date = date;
  } else {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    stamp.creation_date = tk_format("%02d/%02d/%04d", local.tm_mon + 1, local.tm_mday, local.tm_year + 1900);
  }
  return stamp;
}

}  // namespace

sql_engine::sql_engine() { initialize(); }

sql_engine::~sql_engine() {
  TK_TRACE(2, "sql_engine::dtor");
  if (connected_) {
    // The session's foreign-key checks go back on; a failure here has no one
    // left to report to.
    const std::string fk_on = dialect_.foreign_key_checks(true);
    if (mysql_real_query(&mysql_, fk_on.data(), fk_on.size()) == 0) mysql_free_result(mysql_use_result(&mysql_));
  }
  canceller_.reset();
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

void sql_engine::set_up_session(const std::string& sql, const char* what) {
  try {
    execute(sql);
  } catch (const sql_exception& e) {
    TK_TRACE(3, "Failed to set %s", what);
    TK_TRACE(3, "Cannot set %s: %s", what, e.message());
    // Going on would store text in the wrong encoding, or let a literal
    // end early: the run stops with the server's reason.
    throw sql_exception(e.message(), e.error_number(), 1);
  }
}

namespace {

// mysql_real_connect, waiting for the server a second at a time: a signal
// that asks the run to stop ends the wait (tk_interrupt's failure) instead
// of the connect timeout. (The host name is looked up before the first
// wait.)
bool connect_interruptibly(MYSQL* mysql, const char* host, const char* user, const char* password, unsigned port,
                           unsigned long flags) {
  mysql_options(mysql, MYSQL_OPT_NONBLOCK, nullptr);
  MYSQL* connected = nullptr;
  int status = mysql_real_connect_start(&connected, mysql, host, user, password, nullptr, port, nullptr, flags);
  while (status != 0) {
    pollfd p{mysql_get_socket(mysql), 0, 0};
    if (status & MYSQL_WAIT_READ) p.events |= POLLIN;
    if (status & MYSQL_WAIT_WRITE) p.events |= POLLOUT;
    if (status & MYSQL_WAIT_EXCEPT) p.events |= POLLPRI;
    int left_ms = (status & MYSQL_WAIT_TIMEOUT) ? static_cast<int>(mysql_get_timeout_value_ms(mysql)) : -1;
    int events = 0;
    for (;;) {
      tk_interrupt::check();
      const int wait_ms = left_ms < 0 ? 1000 : std::min(left_ms, 1000);
      const int ready = ::poll(&p, 1, wait_ms);
      if (ready > 0) {
        if (p.revents & (POLLIN | POLLHUP | POLLERR)) events |= MYSQL_WAIT_READ;
        if (p.revents & (POLLOUT | POLLHUP | POLLERR)) events |= MYSQL_WAIT_WRITE;
        if (p.revents & POLLPRI) events |= MYSQL_WAIT_EXCEPT;
        break;
      }
      if (ready < 0 && errno != EINTR) {
        events = MYSQL_WAIT_TIMEOUT;
        break;
      }
      if (ready == 0 && left_ms >= 0 && (left_ms -= wait_ms) <= 0) {
        events = MYSQL_WAIT_TIMEOUT;
        break;
      }
    }
    // (The library tells a timeout by the system's error number.)
    if (events == MYSQL_WAIT_TIMEOUT) errno = ETIMEDOUT;
    status = mysql_real_connect_cont(&connected, mysql, events);
  }
  return connected != nullptr;
}

}  // namespace

void sql_engine::connect(const std::string& host, const std::string& user, const std::optional<std::string>& password,
                         unsigned port) {
  TK_TRACE(2, "sql_engine::connect(%s,%s,%s,%d)", host, user, password.value_or(""), port);
  if (connected_) {
    TK_TRACE(1, "Connection was established already - disconnecting first...");
    canceller_.reset();
    mysql_close(&mysql_);
    initialize();
    connected_ = false;
    max_allowed_packet_ = 0;
  }
  TK_TRACE(1, "Connecting to MySQL server...");
  unsigned local_infile = load_data_ ? 1 : 0;
  mysql_options(&mysql_, MYSQL_OPT_LOCAL_INFILE, &local_infile);
  // A null host, user or password lets the library take the option files'
  // value; an empty password given by the user is a password, and is sent.
  if (!connect_interruptibly(&mysql_, host.empty() ? nullptr : host.c_str(), user.empty() ? nullptr : user.c_str(),
                             password ? password->c_str() : nullptr, port, CLIENT_REMEMBER_OPTIONS)) {
    // The MariaDB client reports a refused or unreachable TCP server as
    // "can't connect" to a local socket (2002); the error texts know a
    // network host that does not answer as 2003, as the MySQL client says.
    // A host left to the option files is the one they named.
    const std::string server = !host.empty() ? host : mysql_.options.host ? mysql_.options.host : "";
    if (mysql_errno(&mysql_) == CR_CONNECTION_ERROR && !server.empty() && server != "localhost")
      throw sql_exception(mysql_error(&mysql_), CR_CONN_HOST_ERROR);
    throw sql_exception(&mysql_);
  }
  connected_ = true;
  canceller_ = std::make_unique<sql_canceller>(host, user, password, port, mysql_thread_id(&mysql_));
  // With local infile on, every request of the server is answered by the
  // block a table writer offers, never by a file.
  if (load_data_) infile_.install(&mysql_);
  infile_.set_available(load_data_);

  TK_TRACE(1, "Setting UTF-8 collation...");
  set_up_session(dialect_.set_names(settings_.char_set), "UTF-8 collation");
  set_up_session(dialect_.session_sql_mode(), "sql_mode");
  TK_TRACE(1, "Setting wait_timeout...");
  try {
    execute(dialect_.session_wait_timeout());
  } catch (const sql_exception& e) {
    TK_TRACE(3, "Failed to set wait_timeout");
    TK_TRACE(3, "Cannot set wait_timeout: %s", e.message());
  }

  const char* info = mysql_get_server_info(&mysql_);
  if (!info || !*info) return;
  TK_TRACE(1, "Got MySQL server version: %s", info);
  const uint32_t version = parse_version(info);
  TK_TRACE(1, "Hex version: %08X", version);
  dialect_ = sql_dialect(version, sql_dialect::target::live);
  // The password the session was opened with, wherever it came from.
  if (version == sql_dialect::version_4_1_0 && mysql_.passwd && *mysql_.passwd)
    throw sql_auth_not_supported_exception();
  try {
    execute(dialect_.foreign_key_checks(false));
  } catch (const sql_exception& e) {
    TK_TRACE(3, "Cannot turn off foreign key check: %s", e.message());
  }
  sql_tmp_recordset rs(dialect_.show_max_allowed_packet(), &mysql_);
  if (!rs.is_eof() && rs.get_record()->size() >= 2)
    max_allowed_packet_ = static_cast<uint32_t>(std::strtoul((*rs.get_record())[1].to_string().c_str(), nullptr, 10));
  TK_TRACE(1, "max_packet_size=%d", max_allowed_packet_);
}

uint32_t sql_engine::parse_version(const char* text) {
  int major = 0, minor = 0, patch = 0;
  if (std::sscanf(text, "%d.%d.%d", &major, &minor, &patch) < 3) {
    TK_TRACE(3, "Invalid MySQL version: %s", text);
    throw tk_mail_assertion("sql_engi", __LINE__);
  }
  return static_cast<uint32_t>(major) * 65536u + static_cast<uint32_t>(minor) * 256u + static_cast<uint32_t>(patch);
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
    settings_.table_engine = *value;
  } else {
    TK_TRACE(1, "Set InnoDB as default");
    settings_.table_engine = u"InnoDB";
  }
  if (const std::u16string* value = find(u"character set")) settings_.char_set = *value;
}

sql_destination::create_settings sql_engine::create_settings() const {
  sql_destination::create_settings settings = settings_;
  settings.properties = properties_;
  return settings;
}

std::unique_ptr<udb_database> sql_engine::create_db(const std::u16string& name, uint32_t) {
  return create_database(name);
}

std::unique_ptr<udb_database> sql_engine::open_db(const std::u16string& name, uint32_t mode) {
  return open_database(name, mode);
}

std::unique_ptr<sql_database> sql_engine::create_database(const std::u16string& name) {
  TK_TRACE(2, "sql_engine::create_db (%s)", name);
  TK_TRACE(3, "Creating MySQL database '%s'", name);
  const std::string sql = dialect_.create_database(name, settings_.char_set);
  TK_TRACE(1, "Run SQL-query: %s", sql);
  execute(sql);
  return open_database(name, udb_database::mode_created);
}

std::unique_ptr<sql_database> sql_engine::open_database(const std::u16string& name, uint32_t mode) {
  TK_TRACE(2, "sql_engine::open_db (%s)", name);
  TK_TRACE(3, "Opening MySQL database '%s'", name);
  if (mysql_select_db(&mysql_, tk_unicode_to_utf8(name).c_str()) != 0) throw sql_exception(&mysql_);
  return std::make_unique<sql_database>(name, &mysql_, mode, dialect_, create_settings(), max_allowed_packet_,
                                        &infile_);
}

void sql_engine::db_delete(const std::u16string& name) {
  TK_TRACE(2, "sql_engine::db_delete(%s)", name);
  TK_TRACE(3, "Deleting MySQL database '%s'", name);
  execute(dialect_.foreign_key_checks(false));
  execute(dialect_.drop_database(name, false));
  execute(dialect_.foreign_key_checks(true));
}

bool sql_engine::is_db_exist(const std::u16string& name) {
  TK_TRACE(2, "sql_engine::is_db_exist(%s)", name);
  const int result = mysql_select_db(&mysql_, tk_unicode_to_utf8(name).c_str());
  TK_TRACE(1, "n_result=%d", result);
  if (result == 0) return true;
  if (mysql_errno(&mysql_) == unknown_database_error) return false;
  throw sql_exception(&mysql_);
}

std::u16string sql_engine::foreign_key_referrer_of(const std::u16string& name) {
  return sql_tmp_recordset::first_qualified_name(dialect_.foreign_key_referrers_of_database(name), &mysql_);
}

std::unique_ptr<dmp_database> sql_engine::create_dump(const std::u16string& path, const dump_options& options) {
  TK_TRACE(2, "sql_engine::create_dump (%s)", path);
  TK_TRACE(3, "Creating MySQL dump file '%s'", path);
  return std::make_unique<dmp_database>(path, options, make_stamp(path), create_settings());
}

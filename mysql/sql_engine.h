#pragma once
// The MySQL engine: owns the run's one connection to the server and its
// session, creates, opens, tests and drops databases, and opens dump files
// in dump mode. It keeps the settings of what the agent creates (the
// character set of a new database, the storage engine of new tables, the
// property list of the type mappings) and hands them to each destination
// it opens. A singleton: a run has one server connection.
//
// Ownership: the connection handle is embedded and closed by the destructor.
// Databases returned by create_db, open_db and create_dump are owned by the
// caller and must be released before the engine. The property list is not
// owned.

#include <mysql.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "dump_options.h"
#include "sql_destination.h"
#include "sql_dialect.h"
#include "sql_local_infile.h"
#include "tk_singleton.h"
#include "udb_engine.h"

class dmp_database;
class sql_canceller;
class sql_database;

class sql_engine : public udb_engine, public tk_singleton<sql_engine> {
 public:
  // The option-file group the client library reads, and how long a
  // connection attempt may take before it fails.
  static constexpr const char* read_default_group = "HM MySQL Lib";
  static constexpr unsigned connect_timeout_seconds = 10;
  // The server's answer to a database that does not exist.
  static constexpr unsigned unknown_database_error = 1049;

  sql_engine();
  ~sql_engine() override;

  // udb_engine
  std::unique_ptr<udb_database> create_db(const std::u16string& name, uint32_t mode) override;
  std::unique_ptr<udb_database> open_db(const std::u16string& name, uint32_t mode) override;
  void db_delete(const std::u16string& name) override;
  // True when the database exists (and selects it); false when the server
  // says it does not. Any other failure (no right to it, a lost connection)
  // throws sql_exception.
  bool is_db_exist(const std::u16string& name) override;
  // "db.table" of a table of another database whose foreign key refers to a
  // table of database `name`; empty when there is none.
  std::u16string foreign_key_referrer_of(const std::u16string& name);
  // Keeps the run's properties (not owned) and takes "engine" (InnoDB when
  // absent) and "character set" (kept when absent) from them.
  void set_properties(const udb_properties* properties) override;

  // The same as create_db and open_db, as the live destination they are.
  std::unique_ptr<sql_database> create_database(const std::u16string& name);
  std::unique_ptr<sql_database> open_database(const std::u16string& name, uint32_t mode);

  // Connects (closing an earlier connection first) and sets up the session:
  // SET NAMES, the sql_mode the literals need, the idle time-out, foreign
  // keys off; reads the server's max_allowed_packet. An empty host or user,
  // and a missing password, are left to the client's option files (the
  // read_default_group and [client]); what they do not name is the
  // library's default: the local server, the login name, no password. The
  // option files' TLS settings apply as the library reads them. Throws
  // sql_exception on failure; a session that cannot take its character set
  // or sql_mode ends the run (level 1).
  void connect(const std::string& host, const std::string& user, const std::optional<std::string>& password,
               unsigned port);
  // A dump-file database at `path` (nothing is sent to a server).
  std::unique_ptr<dmp_database> create_dump(const std::u16string& path, const dump_options& options);

  // The live session's text conventions (version 0 until connected).
  const sql_dialect& dialect() const noexcept { return dialect_; }
  bool connected() const noexcept { return connected_; }

  // What the agent creates: a database's character set and the tables'
  // storage engine.
  void set_char_set(std::u16string char_set) { settings_.char_set = std::move(char_set); }
  void set_table_engine(std::u16string engine) { settings_.table_engine = std::move(engine); }
  const std::u16string& char_set() const noexcept { return settings_.char_set; }
  const std::u16string& table_engine() const noexcept { return settings_.table_engine; }
  // Whether rows may go through LOAD DATA LOCAL (the default); set before
  // connecting. Off, or refused by the server, every row goes as INSERT.
  void set_load_data(bool on) noexcept { load_data_ = on; }
  bool load_data() const noexcept { return load_data_; }
  // The settings with the property list, as the destinations take them.
  sql_destination::create_settings create_settings() const;

  // "major.minor.patch[-suffix]" as a version number; fewer than three
  // numbers is an internal error.
  static uint32_t parse_version(const char* text);

  // Sends one statement (its length given, so any byte survives) and drops
  // whatever result it has. Throws sql_exception on failure.
  void execute(std::string_view sql);

  MYSQL* handle() noexcept { return &mysql_; }

 private:
  void initialize();
  // A session statement the run cannot go on without.
  void set_up_session(const std::string& sql, const char* what);

  MYSQL mysql_;
  bool connected_ = false;
  uint32_t max_allowed_packet_ = 0;
  bool load_data_ = true;
  sql_local_infile infile_;
  std::unique_ptr<sql_canceller> canceller_;  // while connected
  sql_dialect dialect_{0, sql_dialect::target::live};
  sql_destination::create_settings settings_{u"utf8", u"InnoDB", nullptr};  // properties: udb_engine's
};

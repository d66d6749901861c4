#pragma once
// The MySQL engine: owns the run's one connection to the server and its
// session settings, creates, opens, tests and drops databases, opens dump
// files in dump mode, quotes identifiers, and chooses the name validators by
// the server's version. A singleton: every other part of the destination
// reaches it through sql_engine::instance().
//
// Ownership: the connection handle is embedded and closed by the destructor.
// Databases returned by create_db/open_db are owned by the caller, keep a
// non-owning pointer to the connection, and must be released before the
// engine. The property list is not owned.

#include <mysql.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dump_options.h"
#include "tk_singleton.h"
#include "udb_engine.h"
#include "udb_validator.h"

class udb_record;
class udb_schema;

class sql_engine : public udb_engine, public tk_singleton<sql_engine> {
 public:
  // Version numbers (major * 65536 + minor * 256 + patch) the writers test.
  static constexpr uint32_t version_4_1_0 = 262400;    // quoted names, new validators
  static constexpr uint32_t version_5_0_1 = 327681;    // SHOW FULL TABLES
  static constexpr uint32_t version_4_0_23 = 262167;   // ENGINE= instead of TYPE=
  static constexpr uint32_t version_3_23_35 = 202531;  // engines other than MyISAM
  static constexpr uint32_t version_3_23_44 = 202540;  // foreign keys
  static constexpr uint32_t version_3_23_2 = 202498;   // NOT NULL on every index column
  static constexpr uint32_t version_5_6_4 = 329220;    // fractional seconds

  // The option-file group the client library reads, and how long a
  // connection attempt may take before it fails.
  static constexpr const char* read_default_group = "HM MySQL Lib";
  static constexpr unsigned connect_timeout_seconds = 10;

  sql_engine();
  ~sql_engine() override;

  // udb_engine
  std::unique_ptr<udb_database> create_db(const std::u16string& name, uint32_t mode) override;
  std::unique_ptr<udb_database> open_db(const std::u16string& name, uint32_t mode) override;
  void db_delete(const std::u16string& name) override;
  bool is_db_exist(const std::u16string& name) override;
  // Keeps the run's properties (not owned) and takes "engine" (InnoDB when
  // absent) and "character set" (char_set kept when absent) from them.
  void set_properties(const udb_properties* properties) override;
  // The properties of one destination table, or null.
  const udb_properties* get_table_properties(std::u16string_view table) const;

  // Connects (closing an earlier connection first) and sets up the session.
  // An empty host connects locally. Throws sql_exception on failure.
  void connect(const std::string& host, const std::string& user, const std::string& password, unsigned port);
  // A dump-file database at `path` (nothing is sent to a server).
  std::unique_ptr<udb_database> create_dump(const std::u16string& path, const dump_options& options);
  // The server's max_allowed_packet, read once and cached; 0 when not connected.
  uint32_t get_max_allowed_packet();

  // `name` in backticks, cut to 63 characters when longer than 64; an empty
  // name or one that already starts with a backtick is returned unchanged.
  std::u16string get_safe_name(std::u16string_view name) const;
  bool is_old_version() const;
  std::unique_ptr<udb_validator> create_tn_validator(const std::vector<std::u16string>& tables,
                                                     const std::vector<std::u16string>& views) const;
  std::unique_ptr<udb_validator> create_fn_validator(const udb_record& record) const;
  std::unique_ptr<udb_validator> create_fn_validator(const udb_schema& schema) const;
  std::unique_ptr<udb_validator> create_in_validator(const std::vector<std::u16string>& indexes) const;
  void set_blob_to_text(bool on);

  // Statement texts of the database operations, by the current version.
  std::string create_db_statement(std::u16string_view name) const;
  std::string drop_db_statement(std::u16string_view name) const;
  // "SET NAMES UTF8", or UTF8MB4 when char_set is utf8mb4 (4-byte characters).
  std::string set_names_statement() const;
  // "major.minor.patch[-suffix]" as a version number; fewer than three
  // numbers is an internal error.
  static uint32_t parse_version(const char* text);

  // Sends one statement (its length given, so any byte survives) and drops
  // whatever result it has. Throws sql_exception on failure.
  void execute(std::string_view sql);

  // Session state.
  std::u16string char_set = u"utf8";
  std::u16string engine = u"InnoDB";
  bool lock_pending = false;  // the dump writer's open LOCK TABLES
  bool fast_insert = true;    // multi-row batching allowed; cleared for good by a too-big row
  bool blob_to_text = false;  // binary server columns read back as text
  uint32_t version = 0;       // 0 until connected (or set by a dump)
  bool connected = false;

  MYSQL* handle() noexcept { return &mysql_; }

 private:
  void initialize();
  // A database name in backticks (4.1.0 and later) or bare, in UTF-8.
  void append_db_name(std::string& out, std::u16string_view name) const;

  MYSQL mysql_;
  uint32_t max_allowed_packet_ = 0;
};

#pragma once
// The MySQL engine: owns the run's one connection to the server and its
// session settings, creates, opens, tests and drops databases, opens dump
// files in dump mode, quotes identifiers, and chooses the name validators by
// the server's version. A singleton: every other part of the destination
// reaches it through sql_engine::instance().

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

  sql_engine();
  ~sql_engine() override;

  // udb_engine
  std::unique_ptr<udb_database> create_db(const std::u16string& name, uint32_t mode) override;
  std::unique_ptr<udb_database> open_db(const std::u16string& name, uint32_t mode) override;
  void db_delete(const std::u16string& name) override;
  bool is_db_exist(const std::u16string& name) override;
  void set_properties(const udb_properties* properties) override;

  void connect(const std::string& host, const std::string& user, const std::string& password, unsigned port);
  // A dump-file database at `path` (nothing is sent to a server).
  std::unique_ptr<udb_database> create_dump(const std::u16string& path, const dump_options& options);
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

  MYSQL mysql_;
  uint32_t max_allowed_packet_ = 0;
};

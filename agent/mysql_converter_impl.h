#pragma once
// The MySQL side of the conversion driver: owns the MySQL engine and the dump
// options, holds the connection settings, connects, drops a database when the
// processing mode asks for it, and turns the column statistics gathered while
// copying into column changes that run after each table's rows.

#include <string>
#include <vector>

#include "dump_options.h"
#include "sql_engine.h"

class dates_map;
class num_map;
class types_map;
class udb_database;
class udb_profile;
class udb_schema;
struct t_ftd;

class mysql_converter_impl {
 public:
  mysql_converter_impl();
  virtual ~mysql_converter_impl();

  // Command-line settings, trimmed; an empty port becomes "3306".
  void store_mysql_settings(const std::string& host, const std::string& user, const std::string& password,
                            const std::string& port);
  // The "MySQL settings" section of a profile: connection and dump options.
  bool load_mysql_profile(const udb_profile& profile);
  void connect_mysql_server();
  void del_mysql_base(const std::u16string& name);

  // Column changes for the table `table` whose destination columns are
  // `schema`, from the statistics of its copy. Columns marked in `keep`
  // (the user's type mappings chose their type) are left as they are.
  void date_post_process(const std::u16string& table, const udb_schema& schema, const dates_map& stats,
                         const std::vector<bool>& keep = {});
  void num_post_process(const std::u16string& table, const udb_schema& schema, const num_map& stats,
                        const std::vector<bool>& keep = {});
  // Runs the pending column changes on the destination and empties the list.
  void mysql_refine_types(udb_database& database, bool live_server);

  void set_char_set(std::u16string char_set) { engine_.char_set = std::move(char_set); }
  void set_table_engine(std::u16string engine) { engine_.engine = std::move(engine); }
  const std::u16string& char_set() const { return engine_.char_set; }
  const std::u16string& table_engine() const { return engine_.engine; }

  const std::string& host() const { return host_; }
  const std::string& user() const { return user_; }
  const std::string& password() const { return password_; }
  const std::string& port() const { return port_; }
  dump_options& dump_settings() { return dump_options_; }
  sql_engine& engine() { return engine_; }

  // A column change waiting to be run: "ALTER TABLE " + table + " " + change.
  // A text column that held empty texts and becomes a number, date or time
  // has those cells made NULL first: an empty text is no number or date, and
  // a strict server would refuse the change (a lenient one would store 0).
  struct pending_change {
    std::u16string table;   // quoted
    std::u16string column;  // quoted
    std::u16string change;  // "MODIFY `col` TYPE ..."
    bool empty_to_null = false;
    bool no_op = false;  // the column already has the type (known on a live server)
    std::u16string statement() const { return u"ALTER TABLE " + table + u" " + change; }
    std::u16string empty_to_null_statement() const {
      return u"UPDATE " + table + u" SET " + column + u" = NULL WHERE " + column + u" = ''";
    }
    std::u16string null_to_empty_statement() const {
      return u"UPDATE " + table + u" SET " + column + u" = '' WHERE " + column + u" IS NULL";
    }
  };
  const std::vector<pending_change>& pending_statements() const { return pending_statements_; }

 protected:
  sql_engine engine_;
  dump_options dump_options_;
  std::vector<pending_change> pending_statements_;
  std::string host_, user_, password_, port_ = "3306";

 private:
  // The column changes of one statistic; `types` names the type of each
  // state, `text_state` is the state that keeps a column text.
  void post_process(const std::u16string& table, const udb_schema& schema, const types_map& stats,
                    const char16_t* const (&types)[4], int32_t text_state, const std::vector<bool>& keep);
  void store_change(const std::u16string& table, const t_ftd& column, const char16_t* type, bool empty_to_null);
  bool run_statement(udb_database& database, const std::u16string& statement);
};

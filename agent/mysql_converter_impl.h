#pragma once
// The MySQL side of the conversion driver: owns the MySQL engine and the dump
// options, holds the connection settings, connects, drops a database when the
// processing mode asks for it, and turns the column statistics gathered while
// copying into column changes that run after each table's rows.

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "dump_options.h"
#include "sql_engine.h"

class dates_map;
class num_map;
class sql_destination;
class types_map;
struct types_map_entry;
class udb_profile;
class udb_schema;
struct t_ftd;

class mysql_converter_impl {
 public:
  mysql_converter_impl();
  virtual ~mysql_converter_impl();

  // The environment variable that holds the password when neither the
  // command line nor a profile gives one.
  static constexpr const char* password_variable = "GRIDLOAD_PASSWORD";

  // Command-line settings, trimmed; an empty host, user or port is left to
  // the client option files (the port then defaults to 3306). A missing
  // password (no --pswd) differs from an empty one: it is looked for
  // elsewhere when connecting.
  void store_mysql_settings(const std::string& host, const std::string& user,
                            const std::optional<std::string>& password, const std::string& port);
  // The "MySQL settings" section of a profile: connection and dump options.
  bool load_mysql_profile(const udb_profile& profile);
  // Connects with the stored settings. Without a password of its own, the
  // run takes the one in password_variable when it is set and not empty,
  // else the client's option files decide, as they do for an empty host or
  // user.
  void connect_mysql_server();
  void del_mysql_base(const std::u16string& name);

  // Column changes for the table `table` whose destination columns are
  // `schema`, from the statistics of its copy, in the text conventions of
  // `dialect`. Columns marked in `keep` (the user's type mappings chose
  // their type) are left as they are.
  void date_post_process(const sql_dialect& dialect, const std::u16string& table, const udb_schema& schema,
                         const dates_map& stats, const std::vector<bool>& keep = {});
  void num_post_process(const sql_dialect& dialect, const std::u16string& table, const udb_schema& schema,
                        const num_map& stats, const std::vector<bool>& keep = {});
  // Runs the pending column changes on the destination and empties the
  // list. A change the server refuses leaves its column as it was; any
  // other failure (a lost connection, a dump file that cannot be written)
  // goes to the caller.
  void mysql_refine_types(sql_destination& destination);
  // Forgets the pending column changes (their table is gone).
  void discard_pending_changes() { pending_statements_.clear(); }

  void set_char_set(std::u16string char_set) { engine_.set_char_set(std::move(char_set)); }
  void set_table_engine(std::u16string engine) { engine_.set_table_engine(std::move(engine)); }
  const std::u16string& char_set() const { return engine_.char_set(); }
  const std::u16string& table_engine() const { return engine_.table_engine(); }

  const std::string& host() const { return host_; }
  const std::string& user() const { return user_; }
  const std::optional<std::string>& password() const { return password_; }
  const std::string& port() const { return port_; }
  dump_options& dump_settings() { return dump_options_; }
  sql_engine& engine() { return engine_; }

  // A column change waiting to be run. A text column that held empty texts
  // and becomes a number, date or time has those cells made NULL first: an
  // empty text is no number or date, and a strict server would refuse the
  // change (a lenient one would store 0).
  struct pending_change {
    std::u16string table;
    std::u16string column;
    std::string change;   // "MODIFY `col` TYPE ...", as the dialect wrote it
    std::string rewrite;  // the texts put in the server's date form first, or empty
    bool empty_to_null = false;
    bool no_op = false;  // the column already has the type (known on a live server)
    // Whether the change's outcome depends on the rows stored: their texts
    // are rewritten first, the column refuses NULL, or the type is a
    // shorter text that a long value does not fit.
    bool depends_on_rows = false;
    std::string shown;  // "qty VARCHAR(255) → INT", for the table's account
  };
  // The changes made since last taken, as pending_change::shown has them.
  std::vector<std::string> take_applied_changes() { return std::exchange(applied_changes_, {}); }
  const std::vector<pending_change>& pending_statements() const { return pending_statements_; }

 protected:
  sql_engine engine_;
  dump_options dump_options_;
  std::vector<pending_change> pending_statements_;
  // The changes found are weighed against those of a copy read ahead, not
  // made: the trace log does not show them again.
  bool weighing_changes_ = false;
  struct weighing_ends {
    bool& weighing;
    ~weighing_ends() { weighing = false; }
  };
  std::vector<std::string> applied_changes_;
  std::string host_, user_, port_;  // an empty port: from the option files
  std::optional<std::string> password_;

 private:
  // The column changes of one statistic; `types` names the type of each
  // state.
  void post_process(const sql_dialect& dialect, const std::u16string& table, const udb_schema& schema,
                    const types_map& stats, const sql_dialect::refined_type (&types)[4], const std::vector<bool>& keep);
  void store_change(const sql_dialect& dialect, const std::u16string& table, const t_ftd& column,
                    sql_dialect::refined_type type, const types_map_entry& stats);
  // Runs one statement; false when the server refuses it.
  static bool run_statement(sql_destination& destination, const std::string& statement);
};

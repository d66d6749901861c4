#pragma once
// A MySQL destination of the conversion: a database on a live server
// (sql_database) or a dump file (dmp_database). Both render every statement
// with their dialect, create tables with the run's settings, and keep one
// rule for the whole run: rows travel in multi-row batches until a record
// too large for a batch arrives; from then on every row goes alone.
//
// Ownership: owns its dialect (a copy) and its settings; the property list
// of the type mappings is not owned and must outlive the destination.

#include <cstdint>
#include <string>
#include <string_view>

#include "sql_dialect.h"
#include "udb_database.h"

class udb_properties;

class sql_destination : public udb_database {
 public:
  // The server's refusal to drop a table a foreign key refers to.
  static constexpr unsigned row_is_referenced_error = 1451;
  // What CREATE statements take from the run's settings.
  struct create_settings {
    std::u16string char_set;                     // of a database the agent creates; may be empty
    std::u16string table_engine = u"InnoDB";     // of the tables it creates
    const udb_properties* properties = nullptr;  // per-table "engine" and "character set"
  };

  sql_destination(std::u16string name, uint32_t mode, const sql_dialect& dialect, create_settings settings);

  const sql_dialect& dialect() const noexcept { return dialect_; }
  // How the source's numbers count as dates (sql_dialect::set_date_numbers).
  void set_date_numbers(std::function<double(double serial)> to_ole) { dialect_.set_date_numbers(std::move(to_ole)); }
  const create_settings& settings() const noexcept { return settings_; }
  // True for a live server, false for a dump file.
  virtual bool live() const = 0;
  // Runs one statement on the server, or writes it into the dump file.
  // Throws sql_exception (server) or the level-1 write failure (file).
  virtual void execute(std::string_view sql) = 0;

  // Ends a run that went through: a dump file takes the destination's place
  // (nothing to do on a live server). A destination released without it
  // leaves the destination as it was before the run.
  virtual void finish() {}

  // A table name not in the list, for a table that lives only during the
  // run (it never clashes with a worksheet's name).
  std::u16string unused_table_name() const;
  // Raises a level-0 failure when `table` cannot be replaced by another
  // table without harm to a third: a foreign key of another table refers to
  // it, and would follow the old table when it is renamed away and dropped.
  void check_replaceable(const std::u16string& table) const;
  // The complete `replacement` takes the place of `table` in one rename;
  // the old table is dropped after it (callers check check_replaceable()
  // before they make the replacement). When a foreign key refers to the old
  // table all the same (one the account cannot see), the tables go back to
  // their names and the same kind of level-0 failure is raised.
  void replace_table(const std::u16string& table, const std::u16string& replacement);

  // Whether rows may still be batched; stop_batching() is for good.
  bool batching() const noexcept { return batching_; }
  void stop_batching() noexcept { batching_ = false; }

  // The table's own character set and engine from the type mappings
  // (empty when it has none).
  void table_options(std::u16string_view table, std::u16string& char_set, std::u16string& engine) const;

 protected:
  // "db.table" of a table of another name whose foreign key refers to
  // `table`; empty when there is none (and in a dump, which cannot know).
  virtual std::u16string foreign_key_referrer(const std::u16string& table) const;

 private:
  sql_dialect dialect_;
  create_settings settings_;
  bool batching_ = true;
};

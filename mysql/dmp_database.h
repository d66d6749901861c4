#pragma once
// The dump-file destination: the destination database of the conversion
// driver implemented on a text file of MySQL statements. Every operation
// appends statements instead of running them: the header and SET NAMES at
// construction, optionally the database statements, then per table its
// definition (the same column and key clauses as on a live server), its
// LOCK TABLES, the rows written by its dmp_recordset, and the UNLOCK
// TABLES that the next table or the end of the file brings.
//
// Text in the file is UTF-8, rendered by the dialect of the version the
// dump targets (4.1, or an old one without quoted names); the dump options
// decide the line break, the comments, the locks and which definitions are
// written.
//
// Ownership: owns the file, the created-tables list, the column layout of
// every table created in the file and the names map. Table writers it hands
// out write through it and must be released before it. finish() ends the
// file, reports a failed write and puts the file in the destination's
// place; a database released without finish() leaves the destination as it
// was.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dmp_file.h"
#include "dump_options.h"
#include "sql_destination.h"

class dmp_database : public sql_destination {
 public:
  // The first two header lines: the file's full path (with '/' for every
  // '\') and the creation date (MM/DD/YYYY). The engine fills them from
  // the path and the local date; tests inject them.
  struct header_stamp {
    std::string file_name;
    std::string creation_date;
  };

  // The most columns a table may have, and the server's error for more.
  static constexpr size_t max_table_columns = 4096;
  static constexpr size_t max_innodb_columns = 1017;
  static constexpr unsigned too_many_columns_error = 1117;

  // The address on the header's last comment line.
  static constexpr const char* web_address = "https://gridload.example.org/";

  // Opens (creates or empties) the file at `path` and writes the header,
  // SET NAMES, the sql_mode line and the database statements, in the
  // dialect of the version the options choose. A file that cannot be
  // created throws the level-1 failure of dmp_file.
  dmp_database(const std::u16string& path, const dump_options& options, const header_stamp& stamp,
               create_settings settings);
  ~dmp_database() override;

  // The definition of a new table, and its writer. A name created earlier
  // in this file gets no second definition: the writer appends to the
  // table as it was created.
  std::unique_ptr<udb_recordset> create_table(const std::u16string& name, const udb_schema& schema,
                                              const udb_indexes& indexes) override;
  // DROP TABLE, and the name leaves the created-tables list.
  void delete_tab(const std::u16string& name) override;

  bool live() const override { return false; }
  // Writes the statement.
  void execute(std::string_view sql) override;
  // The file being written (beside the destination until finish()).
  const std::string& file_path() const noexcept { return file_.temporary_path(); }

  // Writes one statement (UTF-8): the text, ";" and the line break.
  void write_statement(std::string_view sql);
  // Writes text as it stands (a piece of a statement).
  void write(std::string_view text) { file_.write(text); }
  // Writes the pending UNLOCK TABLES, closes the file and renames it over
  // the destination; throws the level-1 failure when a write failed.
  // Later writes are dropped.
  void finish() override;

  const dump_options& options() const noexcept { return options_; }
  const char* line_break() const noexcept { return options_.line_break(); }

 private:
  // A table created in this file and its columns as created (MySQL names).
  struct created_table {
    std::u16string name;
    udb_schema schema;
  };

  void write_header(const header_stamp& stamp);
  void write_database_statements();
  void write_line(std::string_view text);
  void lock_table(const std::u16string& name);
  void unlock_tables(const char* trace);
  const created_table* find_created(std::u16string_view name) const;

  dmp_file file_;
  dump_options options_;
  std::vector<created_table> created_;
  bool lock_pending_ = false;    // a LOCK TABLES waits for its UNLOCK TABLES
  std::u16string locked_table_;  // the table of the pending lock
};

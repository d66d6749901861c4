#pragma once
// The dump-file destination: the destination database of the conversion
// driver implemented on a text file of MySQL statements. Every operation
// appends statements instead of running them: the header and SET NAMES at
// construction, optionally the database statements, then per table its
// definition (the same column and key clauses as on a live server), its
// LOCK TABLES, the rows written by its dmp_recordset, and the UNLOCK
// TABLES that the next table or the end of the file brings.
//
// Text in the file is UTF-8. Names are quoted with backticks for a 4.1
// dump and bare for an old one; the dump options decide the line break,
// the comments, the locks and which definitions are written.
//
// Ownership: owns the file, the created-tables list, the column layout of
// every table created in the file and the names map. Table writers it hands
// out write through it and must be released before it. close() ends the
// file and reports a failed write; the destructor closes and reports a
// failure to the error handler (a level-1 error, which ends the run).

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dmp_file.h"
#include "dump_options.h"
#include "udb_database.h"

class dmp_database : public udb_database {
 public:
  // The first two header lines: the file's full path (with '/' for every
  // '\') and the creation date (MM/DD/YYYY). The engine fills them from
  // the path and the local date; tests inject them.
  struct header_stamp {
    std::string file_name;
    std::string creation_date;
  };

  // The address on the header's last comment line.
  static constexpr const char* web_address = "https://gridload.example.org/";

  // Opens (creates or empties) the file at `path`, sets the engine's server
  // version from the options, and writes the header, SET NAMES and the
  // database statements. A file that cannot be created throws the level-1
  // failure of dmp_file.
  dmp_database(const std::u16string& path, const dump_options& options, const header_stamp& stamp);
  ~dmp_database() override;

  // The definition of a new table, and its writer. A name created earlier
  // in this file gets no second definition: the writer appends to the
  // table as it was created.
  std::unique_ptr<udb_recordset> create_table(const std::u16string& name, const udb_schema& schema,
                                              const udb_indexes& indexes) override;
  using udb_database::create_table;
  // DROP TABLE, and the name leaves the created-tables list.
  void delete_tab(const std::u16string& name) override;
  // Writes the statement; never a recordset.
  std::unique_ptr<udb_recordset> query(const std::u16string& sql) override;

  // Writes one statement (UTF-8): the text, ";" and the line break.
  void write_statement(std::string_view sql);
  // Writes text as it stands (a piece of a statement).
  void write(std::string_view text) { file_.write(text); }
  // Writes the pending UNLOCK TABLES and closes the file; throws the
  // level-1 failure when a write failed. Later writes are dropped.
  void close();

  const dump_options& options() const noexcept { return options_; }
  const char* line_break() const noexcept { return options_.line_break(); }
  // The name as it stands in a statement: in backticks for a 4.1 dump,
  // bare for an old one.
  void append_name(std::string& out, std::u16string_view name) const;

 private:
  // A table created in this file and its columns as created (MySQL names).
  struct created_table {
    std::u16string name;
    udb_schema schema;
  };

  void write_header(const header_stamp& stamp);
  void write_database_statements();
  void write_line(std::string_view text);
  void write_comment_block(const char* title, std::u16string_view table);
  void lock_table(const std::u16string& name);
  void unlock_tables(const char* trace);
  std::string name_of(std::u16string_view name) const;
  const created_table* find_created(std::u16string_view name) const;

  dmp_file file_;
  dump_options options_;
  std::vector<created_table> created_;
  std::u16string locked_table_;  // the table of the pending lock
};

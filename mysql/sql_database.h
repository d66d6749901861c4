#pragma once
// The open MySQL database on the live server: the direct-mode destination.
// It keeps the names of the tables that exist in it (read at open, kept up
// to date by create_table and delete_tab) and the names map of the tables
// it created, creates tables from a source schema, drops them, runs
// statements, and hands out table writers (sql_table).
//
// Ownership: the connection belongs to the engine and must outlive the
// database; writers handed out are owned by the caller and must be released
// before the database. Statements are sent with their length, so any byte
// inside a value reaches the server.

#include <mysql.h>

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "sql_destination.h"
#include "sql_local_infile.h"
#include "sql_sender.h"

class udb_field;
class udb_record;

class sql_database : public sql_destination {
 public:
  // Long data goes to the server in pieces of this size.
  static constexpr size_t long_data_chunk_bytes = 0x20000;

  // Reads the table list of the database the connection has selected.
  // `packet_limit` is the server's max_allowed_packet as read at connect (0: read
  // it when first needed).
  // `infile` (not owned; may be null) carries rows through LOAD DATA LOCAL.
  sql_database(std::u16string name, MYSQL* connection, uint32_t mode, const sql_dialect& dialect,
               create_settings settings, uint32_t packet_limit = 0, sql_local_infile* infile = nullptr);
  ~sql_database() override;

  std::unique_ptr<udb_recordset> create_table(const std::u16string& name, const udb_schema& schema,
                                              const udb_indexes& indexes) override;
  void delete_tab(const std::u16string& name) override;
  // Whether the server takes the table create_table would make, in the
  // database made anew in the run's character set: it is made and dropped
  // at once as a temporary table under an unused name (with an engine that
  // has none, as a table), and under its own name when that may be too long
  // for a file and no object of the database holds it; the server's
  // refusal (too many columns, a row too large, a name it cannot store) is
  // thrown as sql_exception. Without the right to make temporary tables
  // nothing is known, and nothing thrown. A table tried that cannot be
  // dropped again ends the run (a level-1 tk_exception naming it).
  void try_definition(const std::u16string& name, const udb_schema& schema, const udb_indexes& indexes);
  // The writer (sql_table) of a table of the list.
  std::unique_ptr<udb_recordset> get_table(const std::u16string& name, uint32_t mode) override;

  bool live() const override { return true; }
  void execute(std::string_view sql) override;
  std::u16string foreign_key_referrer(const std::u16string& table) const override;

  // Sends one UTF-8 statement and drops its result. Throws sql_exception.
  void query_append(std::string_view sql);
  // Sends a statement whose "?" placeholders stand for the cells larger
  // than the inline limit, in the order given: each such cell is bound and
  // streamed as long data in long_data_chunk_bytes pieces (text as UTF-8).
  // The server's refusal of the statement throws sql_exception; other
  // failures throw sql_prep_stmt_failed_exception.
  void prepared_statement(std::string_view sql, std::span<const udb_field* const> cells);
  // The same with the cells of a record, in record order.
  void prepared_statement(std::string_view sql, const udb_record& record);

  // The server's max_allowed_packet: no statement may be longer.
  uint32_t max_allowed_packet();
  MYSQL* connection() const noexcept { return connection_; }
  // The worker that stores blocks of rows while the run reads on. Every
  // statement of the run's thread waits for the block in flight first.
  sql_sender& sender() noexcept { return sender_; }
  // The connection's LOAD DATA LOCAL feed, when rows may go that way.
  sql_local_infile* local_infile() const noexcept {
    return infile_ != nullptr && infile_->available() ? infile_ : nullptr;
  }

 private:
  void init_tables();

  MYSQL* connection_;  // not owned
  uint32_t max_allowed_packet_ = 0;
  sql_local_infile* infile_;  // not owned
  sql_sender sender_;         // last: its job ends before the rest goes
};

#pragma once
// The open MySQL database on the live server: the direct-mode destination.
// It keeps the names of the tables that exist in it (read at open, kept up
// to date by create_table and delete_tab) and the names map of the tables
// it created, creates tables from a source schema, drops them, runs
// statements, and hands out table writers (sql_table).
//
// Ownership: the connection belongs to the engine and must outlive the
// database; recordsets handed out are owned by the caller and must be
// released before the database. Statements are sent with their length, so
// any byte inside a value reaches the server.

#include <mysql.h>

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "udb_database.h"

class sql_table;
class udb_field;
class udb_record;

class sql_database : public udb_database {
 public:
  // Long data goes to the server in pieces of this size.
  static constexpr size_t long_data_chunk_bytes = 0x20000;

  // Reads the table list.
  sql_database(std::u16string name, MYSQL* connection, uint32_t mode);
  ~sql_database() override;

  std::unique_ptr<udb_recordset> create_table(const std::u16string& name, const udb_schema& schema,
                                              const udb_indexes& indexes) override;
  using udb_database::create_table;
  void delete_tab(const std::u16string& name) override;
  // The writer (sql_table) of an existing table of the list.
  std::unique_ptr<udb_recordset> get_table(const std::u16string& name, uint32_t mode) override;
  // A recordset over the statement's result (read in pages), or null when
  // it has none. Throws sql_exception.
  std::unique_ptr<udb_recordset> query(const std::u16string& sql) override;

  // Sends one UTF-8 statement and drops its result. Throws sql_exception.
  void query_append(std::string_view sql);
  // Sends a statement whose "?" placeholders stand for the cells larger
  // than the inline limit, in the order given: each such cell is bound and
  // streamed as long data in long_data_chunk_bytes pieces (text as UTF-8).
  // Failures throw sql_prep_stmt_failed_exception.
  void prepared_statement(std::string_view sql, std::span<const udb_field* const> cells);
  // The same with the cells of a record, in record order.
  void prepared_statement(std::string_view sql, const udb_record& record);

  MYSQL* connection() const noexcept { return connection_; }

  // The CREATE TABLE text from column and key definitions; `charset` and
  // `table_type` as the table's properties give them (empty: none / the
  // engine's setting), for server `version`.
  static std::u16string create_table_statement(std::u16string_view name, const std::vector<std::u16string>& columns,
                                               const std::vector<std::u16string>& keys, std::u16string_view charset,
                                               std::u16string_view table_type, uint32_t version);

 private:
  void init_tables();

  MYSQL* connection_;  // not owned
};

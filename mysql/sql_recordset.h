#pragma once
// A table or a query of the open database, read from the server. Built, it
// knows the row count, the columns (schema) and, for a table, its
// auto-increment column and that column's last value; the rows themselves
// are read only when the caller navigates, through an unbuffered result in
// pages (sql_tmp_recordset), so a large table is never held whole.
//
// Ownership: owns its schema and the reader of its rows; the database (and
// its connection) and the names map are not owned and must outlive it.

#include <cstdint>
#include <memory>
#include <string>

#include "sql_tmp_recordset.h"
#include "udb_names_map.h"
#include "udb_recordset.h"

class sql_database;

class sql_recordset : public udb_recordset {
 public:
  // Rows of the sample that initialize asks for: only the column
  // descriptions are used.
  static constexpr size_t sample_rows = 0;

  // A table of the database (`is_query` false) or a SELECT statement.
  sql_recordset(sql_database& database, std::u16string name, std::u16string table_or_query, bool is_query,
                const udb_names_map* names_map);
  ~sql_recordset() override;

  udb_record* get_record() override;
  bool is_eof() override;
  void move_next() override;
  void move_prev() override;
  // Reads the rows again from the first one.
  void reset() override;

  uint64_t rec_count() const noexcept { return rec_count_; }
  bool is_query() const noexcept { return is_query_; }
  // "SELECT <columns> FROM <table>" as the rows are read (UTF-8).
  const std::string& local_select() const noexcept { return local_select_; }
  // The auto-increment column (empty when none) and its largest value.
  const std::u16string& auto_number_column() const noexcept { return auto_number_column_; }
  int64_t auto_number_last() const noexcept { return auto_number_last_; }
  sql_database& db() const noexcept { return *db_; }
  const udb_names_map* names_map() const noexcept { return names_map_; }

 protected:
  // Appends `name` quoted for this server to a UTF-8 statement.
  static void append_quoted(std::string& out, std::u16string_view name);

  sql_database* db_;
  const udb_names_map* names_map_;
  bool is_query_;
  std::u16string source_;

 private:
  void initialize();
  uint64_t get_rec_count();
  sql_tmp_recordset& reader();

  uint64_t rec_count_ = 0;
  std::string local_select_;
  std::u16string auto_number_column_;
  int64_t auto_number_last_ = 0;
  std::unique_ptr<sql_tmp_recordset> reader_;
};

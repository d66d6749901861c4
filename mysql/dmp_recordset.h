#pragma once
// The writer of one table of a dump file: turns records into INSERT
// statements. In fast mode rows are packed into one multi-row statement,
// built in place in one buffer reserved once and written out when it
// passes max_statement_bytes. A record over max_fast_row_bytes switches the
// whole run (every later row of every table) to slow mode: one statement
// per row. A value over sql_max_inline_field_size is written in pieces of
// straight to the file, inside one complete INSERT for its row. Literals
// use the dump escaping (NUL, CR, LF and Ctrl-Z escaped too), so the file
// loads back into the same values.
//
// Records are matched with the columns as on a live server: a record with
// fewer fields than the table names only its own columns (each field's
// MySQL name made by the field-name validator); otherwise every column of
// the table (MySQL names) takes the field whose source name the names map
// gives. A name that cannot be matched fails the table with the
// conformance message. The match is made once per record layout; a record
// whose columns differ from those of the open statement closes it.
//
// A row the server would refuse under its strict mode is left out and
// reported as a live run reports it, so that the file loads without an
// error and gives the tables a live run gives: a text longer than its
// VARCHAR or CHAR column, and a character outside the Basic Multilingual
// Plane when the file's SET NAMES is a three-byte UTF-8.
//
// Ownership: owns its copy of the columns and its statement buffers; the
// database (and its file) is not owned and must outlive the writer. The
// destructor writes out the open statement.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sql_charset_check.h"
#include "sql_dialect.h"
#include "sql_row_writer.h"

class dmp_database;

class dmp_recordset : public sql_row_writer {
 public:
  // An open multi-row statement is written out once it holds more.
  static constexpr size_t max_statement_bytes = 1000000;
  // A record whose total size is larger ends fast mode for the run.
  static constexpr size_t max_fast_row_bytes = 1000000;
  // A value over the inline limit makes its record larger than the fast
  // limit: big values are always met in slow mode.
  static_assert(max_fast_row_bytes < sql_max_inline_field_size);
  // The server's error numbers of the rows it refuses.
  static constexpr unsigned incorrect_string_error = 1366;
  static constexpr unsigned data_too_long_error = 1406;
  static constexpr unsigned out_of_range_error = 1264;
  static constexpr unsigned data_truncated_error = 1265;
  // Bytes of a refused value the report shows.
  static constexpr size_t shown_bytes = 6;

  // `columns`: the table's columns with the names they were created with.
  dmp_recordset(dmp_database& database, std::u16string table, const udb_schema& columns);
  ~dmp_recordset() override;

  void append_record(const udb_record& record) override;
  // Writes out the open multi-row statement, if any.
  void flush() override;

  // The multi-row statement under construction (empty when none).
  const std::string& pending() const noexcept { return buffer_; }

 private:
  void fast_append(const udb_record& record);
  void slow_append(const udb_record& record, bool may_hold_big);
  // The slots and the statement head for a record's layout.
  void prepare_layout(const udb_record& record);
  void match_columns(const udb_record& record);
  void match_fields(const udb_record& record);
  bool same_layout(const udb_record& record) const;
  bool is_big(const udb_field& cell) const;
  // One INSERT for a row that holds big values.
  void write_row_in_pieces(const udb_record& record);
  // Why the server would refuse the record, and its error number (empty:
  // it would not).
  std::string refusal(const udb_record& record, unsigned& error_number) const;

  dmp_database& db_;
  std::vector<sql_cell_slot> slots_;
  // Per slot, what the column's type asks of a value: a mapped TEXT or BLOB
  // type, and the UTF-8 bytes it holds (0: left to the server); a YEAR; a
  // TIME (a number there is a duration).
  struct column_checks {
    uint32_t text_bytes = 0;
    bool long_text = false;
    bool year = false;
    bool time = false;
  };
  std::vector<column_checks> checks_;
  std::vector<std::u16string> layout_names_;  // the record's field names the slots were made for
  uint64_t layout_ = 0;                       // and its layout
  std::string head_;                          // "INSERT INTO `t`(`a`, `b`) VALUES"
  std::string next_head_;                     // the head of a new layout
  std::string tail_;                          // what ends the rows of head_'s statements
  std::string buffer_;                        // the open multi-row statement
  std::string row_;                           // a one-row statement
  mutable std::string literal_;               // a decimal's literal, weighed before it is written
  std::u16string held_set_;                   // the table's character set, as far as known
  sql_charset_check held_;                    // the characters the table receives
  bool utf8_table_;                           // the table stores UTF-8
  unsigned char_bytes_;                       // in its widest character, of UTF-8
  bool own_columns_;                          // the dump makes the table
  uint64_t n_records_ = 0;
};

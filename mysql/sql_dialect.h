#pragma once
// The text conventions of one MySQL session, and the one place where SQL
// text is made: identifiers, value literals, column type and default texts,
// and every statement the agent sends to a server or writes into a dump
// file, including the comment lines of a dump.
//
// A dialect is fixed when it is built: the server version (a live server's,
// or the one a dump file targets) and the target, which decides how text
// literals are escaped. Writers, the refinement and the upsizer hold it by
// reference; nothing else concatenates SQL.
//
// Safety rules that every rendering keeps:
// - an identifier is enclosed in backticks with each backtick inside it
//   doubled; servers before 4.1.0 know no quoting and get the name bare,
//   which the old name validators keep to letters, digits, '_' and '$';
// - a text literal is enclosed in single quotes with '\' and ''' escaped by
//   a backslash (a dump also escapes NUL, CR, LF and Ctrl-Z); this holds
//   only while NO_BACKSLASH_ESCAPES is off, which session_sql_mode() sees
//   to for the live session and for the session that loads a dump;
// - storage engine and character-set names are written only when they are
//   plain words (is_plain_word); anything else is refused where the run
//   starts;
// - a dump comment line never holds a line break or another control
//   character.
//
// Statements are UTF-8 without the final ";".

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ole_date.h"
#include "ole_variant.h"
#include "ole_vartype.h"

class udb_field;
class udb_record;
class udb_schema;
class udb_validator;
struct t_ftd;

// Keys of the type-name table (the keys are fixed: the type mapping names
// types by them).
namespace sql_type_key {
inline constexpr int binary = 0;
inline constexpr int bit = 1;
inline constexpr int tinyint = 2;
inline constexpr int tinyint_unsigned = 3;
inline constexpr int smallint = 4;
inline constexpr int smallint_unsigned = 5;
inline constexpr int int_ = 6;
inline constexpr int int_unsigned = 7;
inline constexpr int bigint = 8;
inline constexpr int bigint_unsigned = 9;
inline constexpr int float_ = 10;
inline constexpr int decimal = 11;
inline constexpr int double_ = 12;
inline constexpr int char_ = 13;
inline constexpr int varbinary = 14;
inline constexpr int varchar = 15;
inline constexpr int datetime = 16;
inline constexpr int date = 17;
inline constexpr int time = 18;
inline constexpr int timestamp = 19;
inline constexpr int longblob = 20;
inline constexpr int tinyblob = 21;
inline constexpr int blob = 22;
inline constexpr int mediumblob = 23;
inline constexpr int text = 24;
inline constexpr int longtext = 25;
inline constexpr int mediumtext = 26;
inline constexpr int tinytext = 27;
}  // namespace sql_type_key

// Column sizes at which the text and binary column types change.
inline constexpr uint32_t sql_max_varchar_chars = 21845;       // 65535 bytes / 3 bytes per character
inline constexpr uint32_t sql_max_mediumtext_chars = 5592405;  // 16777215 bytes / 3
inline constexpr uint32_t sql_max_varbinary_bytes = 255;
// The most digits of a DECIMAL column, and after its point.
inline constexpr uint32_t max_decimal_precision = 65;
inline constexpr uint32_t max_decimal_scale = 38;
inline constexpr uint32_t sql_max_blob_bytes = 65535;
inline constexpr uint32_t sql_max_mediumblob_bytes = 16777215;

// A cell larger than this (bytes of a binary value, characters of a text)
// is not inlined into a statement: the live writer streams it as long data
// behind a "?" placeholder, the dump writer writes it in pieces.
inline constexpr size_t sql_max_inline_field_size = 0x100000;

// A column type chosen by the user's type mapping: the MySQL type name and
// the length, precision and scale that go with it.
struct sql_native_type {
  std::u16string name;
  uint32_t length = 0;
  uint32_t precision = 0;
  uint32_t scale = 0;
};

// One column of an INSERT statement: its descriptor and the position of the
// record's cell that feeds it.
struct sql_cell_slot {
  const t_ftd* column;
  size_t cell;
};

class sql_dialect {
 public:
  // Where the text goes: sent to a live server with its length, or written
  // into a dump file that a client reads line by line.
  enum class target : uint8_t { live, dump };

  // The statement verbs of a row.
  enum class insert_verb : uint8_t { insert, insert_ignore };

  // The column types the refinement proposes.
  enum class refined_type : uint8_t { char19, datetime, date, time, varchar255, double_, bigint, int_ };

  // Version numbers (major * 65536 + minor * 256 + patch) the text depends on.
  static constexpr uint32_t version_4_1_0 = 262400;    // quoted names, new validators
  static constexpr uint32_t version_5_0_1 = 327681;    // SHOW FULL TABLES
  static constexpr uint32_t version_4_0_23 = 262167;   // ENGINE= instead of TYPE=
  static constexpr uint32_t version_3_23_35 = 202531;  // engines other than MyISAM
  static constexpr uint32_t version_3_23_2 = 202498;   // NOT NULL on every index column
  static constexpr uint32_t version_5_6_4 = 329220;    // fractional seconds
  // The versions a dump file is written for.
  static constexpr uint32_t dump_version_new = 0x40100;  // 4.1.0
  static constexpr uint32_t dump_version_old = 0x31401;  // 3.20.1

  // Units of a big value per piece when it is written in pieces (bytes of a
  // binary value, UTF-16 units of a text).
  static constexpr size_t piece_units = 0x20000;

  sql_dialect(uint32_t version, target where);

  uint32_t version() const noexcept { return version_; }
  target where() const noexcept { return where_; }
  bool quotes_names() const noexcept { return version_ >= version_4_1_0; }
  bool is_old_version() const;

  // The name validators of this version: the new kind from 4.1.0 on, the
  // old kind before.
  std::unique_ptr<udb_validator> create_tn_validator(const std::vector<std::u16string>& tables) const;
  std::unique_ptr<udb_validator> create_fn_validator(const udb_record& record) const;
  std::unique_ptr<udb_validator> create_fn_validator(const udb_schema& schema) const;
  std::unique_ptr<udb_validator> create_in_validator(const std::vector<std::u16string>& indexes) const;

  // A storage-engine, character-set or collation name that may stand in a
  // statement as it is: one or more ASCII letters, digits and '_'.
  static bool is_plain_word(std::u16string_view name);
  // Whether a storage engine or a character set is one that servers of the
  // family have, in any letter case: a dump cannot ask its server, and a
  // CREATE it refuses comes after its DROP.
  static bool is_known_engine(std::u16string_view name);
  static bool is_known_char_set(std::u16string_view name);
  // The characters a CHAR or VARCHAR column counts in a text: a surrogate
  // pair is one.
  static size_t characters(std::u16string_view text);
  // Whether `name` is one of the server's own databases (mysql, sys,
  // information_schema, performance_schema), in any letter case: the agent
  // never drops or makes one anew.
  static bool is_system_database(std::u16string_view name);
  // Refuses (level 1) a database the run would drop and make anew when it
  // is one of the server's own.
  static void check_droppable(std::u16string_view database);

  // ---- Identifiers -----------------------------------------------------------
  void append_name(std::string& out, std::u16string_view name) const;
  std::string name(std::u16string_view name) const;

  // ---- Types and defaults ----------------------------------------------------
  // The keyword of a type-name key; "<Unknown type>" (and a trace) for a key
  // that is not in the table.
  static const std::u16string& type_name(int key);
  // The column type text of a descriptor: the full type for a column
  // definition ("VARCHAR(255)", "DECIMAL(19,4)"), or only the keyword when
  // `name_only`. A tag that has no MySQL column type is an internal error.
  std::u16string column_type(const t_ftd& field, bool name_only) const;
  // The column type text of a user-mapped type: VARCHAR and CHAR take the
  // length, DECIMAL the precision and scale; any other name stands as
  // written (the mapping parser keeps it to a type name).
  static std::u16string mapped_type(const sql_native_type& type);
  // The variant tag of a MySQL type name (the reverse of the column type
  // rule); sets `size` where the name implies one and leaves it otherwise.
  static VARTYPE vartype_from_name(std::u16string_view name, uint32_t& size);
  // The first word of a type text ("INT" of "INT(11) UNSIGNED").
  static std::u16string_view type_word(std::u16string_view type);
  // Whether a date column holds times of day or durations: by its date kind,
  // or, for a table's own column, which has none, by its type.
  static bool is_time_column(const t_ftd& column);
  // The bytes a value of a TINY, plain or MEDIUM TEXT or BLOB type holds
  // (of TEXT(M), in a character set of up to `char_bytes` a character); 0
  // for any other type.
  static uint32_t text_bytes_limit(std::u16string_view type, unsigned char_bytes = 4);
  static const char16_t* refined_type_text(refined_type type);
  // The text that follows DEFAULT in a column definition, or the empty text
  // when the column gets no DEFAULT clause.
  std::u16string default_value(const t_ftd& field) const;
  // The server's words (under a strict sql_mode) for a column definition it
  // refuses, with their error number: a decimal's digits out of bounds, a
  // DEFAULT (default_value) its column cannot hold. Empty when it takes it.
  // `column` is the column's name in the table.
  std::string column_refusal(const t_ftd& field, std::u16string_view column, unsigned& error_number) const;
  // Of a default that default_value() leaves out, the server's words when
  // the server would refuse it (2024-00-00 for a DATE, abc for an INT, a
  // number past an integer type): it is not left out then, or rows without
  // the column would get NULL. Empty for a default let go: the words of other
  // databases that have no equal here, a number in a form the column's own
  // rules do not write (007).
  std::string default_refusal(const t_ftd& field, std::u16string_view column) const;

  // ---- Literals ----------------------------------------------------------------
  // The literal of one cell for a data statement. `column` is the
  // destination column. The literal follows the cell's own tag, except that
  // text in a numeric column is written as a number when it is one. With
  // `allow_placeholder` a cell larger than sql_max_inline_field_size is
  // written as "?". Empty and null cells become NULL, or, in a NOT NULL
  // column that is not text or binary, 0 for a numeric cell and the cell's
  // own literal otherwise.
  //
  // A number in a column of dates or times is a date number, as a workbook
  // keeps its dates (set_date_numbers tells how its serials count): 45000
  // is 2023-03-15 and, in a TIME column, 1.5 is 36:00:00. Without it a
  // number goes as it stands.
  void append_cell(std::string& out, const udb_field& cell, const t_ftd& column, bool allow_placeholder) const;
  // The OLE date number (days since 1899-12-30) of a source's date serial.
  void set_date_numbers(std::function<double(double serial)> to_ole) { date_numbers_ = std::move(to_ole); }
  // Whether a number in date or time `column` means a date or a time the
  // column takes (append_cell writes any other in a form it refuses).
  bool date_number_holds(double serial, const t_ftd& column) const;
  // The moment a number means in a date column; false for none.
  bool date_of_number(double serial, ole_date& date) const;
  // Whether a moment lies in the range of `column` (a TIMESTAMP's; any
  // other date column takes every moment).
  static bool moment_holds(const ole_date& date, const t_ftd& column);
  // The literal of a value given as text and tag: NULL for VT_EMPTY and
  // VT_NULL, '' for empty text, binary renderings bare when they are a
  // numeric literal, a GUID in quotes, dates re-printed and quoted, text
  // quoted and escaped, numbers bare when the text is a plain number (quoted
  // otherwise, so that no text ever leaves its literal).
  void append_literal(std::string& out, std::u16string_view text, VARTYPE vt) const;
  void append_literal(std::string& out, std::string_view text, VARTYPE vt) const;
  std::string literal(std::u16string_view text, VARTYPE vt) const;
  // The literal of a variant: binary values as 0x and upper-case hex (NULL
  // when empty), every other value through its text form and its own tag.
  void append_value(std::string& out, const ole_variant& value) const;

  // ---- Statements ----------------------------------------------------------------
  // Session set-up of a live connection and of a dump file.
  std::string set_names(std::u16string_view char_set) const;
  // Removes NO_BACKSLASH_ESCAPES from the session's sql_mode and keeps every
  // other flag (the literals need backslash escapes). In a dump it is a
  // versioned comment, which other clients skip, and it adds
  // STRICT_ALL_TABLES too: the table a dump is loaded into may be one that
  // would otherwise store a value it cannot hold altered, without a word.
  std::string session_sql_mode() const;
  // Adds STRICT_ALL_TABLES to the session's sql_mode: a bad value in a
  // table without transactions is refused, not stored altered.
  std::string session_strict_all_tables() const;
  std::string session_wait_timeout() const;
  std::string foreign_key_checks(bool on) const;
  std::string start_transaction() const;
  std::string commit() const;
  std::string rollback() const;

  // What the live session asks of the server.
  std::string list_tables() const;
  std::string show_columns(std::u16string_view table) const;
  std::string show_index(std::u16string_view table) const;
  std::string show_warnings() const;
  std::string show_max_allowed_packet() const;
  // What a connection runs: one row of its command, the milliseconds its
  // statement has run and the statement's id (a server without the last two
  // refuses it); and ending that statement alone.
  std::string running_statement(unsigned long connection_id) const;
  std::string kill_query_id(uint64_t query_id) const;
  // Whether the table's storage engine keeps transactions (YES or NO), and how
  // many triggers the table has: one row.
  std::string table_transactions(std::u16string_view table) const;
  // The schema and name of the first table other than `table` itself whose
  // foreign key refers to `table` (of the connection's database).
  std::string foreign_key_referrers(std::u16string_view table) const;
  // The schema and name of the first table of another database whose
  // foreign key refers to a table of database `db`.
  std::string foreign_key_referrers_of_database(std::u16string_view db) const;
  // The table's columns as a result without rows.
  std::string select_no_rows(std::u16string_view table) const;

  // Databases. An empty character set leaves the server's default.
  std::string create_database(std::u16string_view db, std::u16string_view char_set) const;
  std::string drop_database(std::u16string_view db, bool if_exists) const;
  std::string use_database(std::u16string_view db) const;

  // Tables. A column definition is
  //   `name` TYPE [CHARACTER SET cs] [NOT NULL] [DEFAULT d] [AUTO_INCREMENT] [COMMENT 'text']
  // with `default_text` as default_value() made it; a key definition is
  //   PRIMARY KEY (`a`, `b`) | UNIQUE `name` (`a`) | INDEX `name` (`a`).
  std::string column_definition(std::u16string_view name, std::u16string_view type, std::u16string_view char_set,
                                bool not_null, std::u16string_view default_text, bool auto_increment,
                                std::u16string_view comment) const;
  std::string key_definition(bool primary, bool unique, std::u16string_view name,
                             const std::vector<std::u16string>& columns) const;
  // CREATE TABLE from its column and key definitions, on one line for a
  // live server and one definition a line (ending in `line_break`) in a
  // dump. `engine` is the table's own engine when its properties give one,
  // else `default_engine` (MyISAM for servers before 3.23.35); `char_set`
  // is written only when not empty.
  std::string create_table(std::u16string_view table, const std::vector<std::string>& columns,
                           const std::vector<std::string>& keys, std::u16string_view char_set,
                           std::u16string_view engine, std::u16string_view default_engine,
                           std::string_view line_break) const;
  // The same table (on one line) as a TEMPORARY table of the session, and
  // its drop: the server's judgement of a definition, trying it.
  std::string create_temporary_table(std::u16string_view table, const std::vector<std::string>& columns,
                                     const std::vector<std::string>& keys, std::u16string_view char_set,
                                     std::u16string_view engine, std::u16string_view default_engine) const;
  std::string drop_temporary_table(std::u16string_view table) const;
  std::string drop_table(std::u16string_view table) const;
  // Renames in one statement: the pairs (from, to) in order, all or none.
  std::string rename_tables(std::span<const std::pair<std::u16string, std::u16string>> pairs) const;
  std::string lock_table(std::u16string_view table) const;
  std::string unlock_tables() const;

  // Rows. The head names the table and the slots' columns and ends with
  // VALUES; each row follows it as "(v1, v2)", separated by ", ".
  void append_insert_head(std::string& out, insert_verb verb, std::u16string_view table,
                          std::span<const sql_cell_slot> slots) const;
  // What ends the rows of a dump's INSERT: a row whose unique key the table
  // holds already (or a row before it holds) is passed over, as a live run
  // passes it over, while a value the table cannot hold still stops the
  // load. Nothing before MySQL 4.1, which knows no such clause.
  void append_insert_tail(std::string& out, std::span<const sql_cell_slot> slots) const;
  void append_row(std::string& out, const udb_record& record, std::span<const sql_cell_slot> slots, bool first,
                  bool allow_placeholder) const;
  // LOAD DATA LOCAL of the slots' columns from the text sql_load_format
  // writes (tab-separated fields, backslash escapes, a line a row), read in
  // the session's character set (as set_names names it); a row whose key is
  // stored already is skipped.
  std::string load_data(std::u16string_view table, std::span<const sql_cell_slot> slots,
                        std::u16string_view char_set) const;
  // A one-row statement whose cells may exceed sql_max_inline_field_size,
  // handed to `write` in pieces: the head, then each value, big values in
  // pieces of piece_units (a binary value as 0x and hex digits, any other
  // as an escaped text literal), then the row's end.
  void write_row_in_pieces(std::string_view head, const udb_record& record, std::span<const sql_cell_slot> slots,
                           const std::function<void(std::string_view)>& write) const;

  // Column changes. modify_column gives one change of an ALTER TABLE;
  // alter_table joins changes of one table.
  std::string modify_column(std::u16string_view column, std::u16string_view type, bool not_null,
                            std::u16string_view default_text) const;
  std::string alter_table(std::u16string_view table, std::span<const std::string> changes) const;
  // A column widened to `type` (its name kept).
  std::string change_column_type(std::u16string_view table, std::u16string_view column, std::u16string_view type) const;
  // Empty texts made NULL: of several columns in one pass over the rows,
  // or of one column.
  std::string empty_texts_to_null(std::u16string_view table, std::span<const std::u16string> columns) const;
  std::string empty_text_to_null(std::u16string_view table, std::u16string_view column) const;
  std::string null_to_empty_text(std::u16string_view table, std::u16string_view column) const;
  // The column's texts, each read by the server's date `pattern` (a
  // STR_TO_DATE format), rewritten in its own date (or date and time) form.
  std::string rewrite_dates(std::u16string_view table, std::u16string_view column, std::string_view pattern,
                            bool with_time) const;

  // ---- Dump comments -------------------------------------------------------------
  // "# " and the text on one line; control characters become '?'.
  std::string comment_line(std::string_view text) const;
  // The block before a table's definition or rows:
  //   LB "#" LB "# <title> '<table>'" LB "#" LB
  std::string comment_block(std::string_view title, std::u16string_view table, std::string_view line_break) const;

 private:
  // The literal of a date number in `column` (a date or time column).
  void append_date_number(std::string& out, double serial, const t_ftd& column) const;

  uint32_t version_;
  target where_;
  std::function<double(double)> date_numbers_;
};

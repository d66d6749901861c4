#pragma once
// The MySQL text conventions shared by the live-server writer and the dump
// writer, so that a table converted either way gets the same DDL and the
// same literals:
// - the type-name table and the column type text of a column descriptor;
// - the default-value text of a column definition;
// - value literals for INSERT, UPDATE and DELETE text;
// - the variant tag and value of a raw cell read back from the server.
//
// Identifier quoting is sql_engine::get_safe_name.
//
// Narrow text here is UTF-8, the client encoding of the session. The copy
// path uses the appending forms: they write into the caller's buffer in one
// pass and allocate nothing per cell once the buffer has grown.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "ole_variant.h"
#include "ole_vartype.h"

class udb_field;
struct t_ftd;

// How a text literal is escaped. Both styles put a backslash before every
// backslash and single quote. `live` stops there: a statement goes to the
// server with its length, so no other byte needs care. `dump` also writes
// NUL, CR, LF and Ctrl-Z as \0, \r, \n and \Z, so that the script survives
// line-oriented tools and the client's own line reading.
enum class sql_literal_style : uint8_t { live, dump };

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
inline constexpr uint32_t sql_max_blob_bytes = 65535;
inline constexpr uint32_t sql_max_mediumblob_bytes = 16777215;

// A cell larger than this (bytes of a binary value, characters of a text)
// is not inlined into a statement when placeholders are allowed: it becomes
// "?" and the writer streams it as long data.
inline constexpr size_t sql_max_inline_field_size = 0x100000;

// A column type chosen by the user's type mapping: the MySQL type name and
// the length, precision and scale that go with it.
struct sql_native_type {
  std::u16string name;
  uint32_t length = 0;
  uint32_t precision = 0;
  uint32_t scale = 0;
};

// The keyword of a type-name key; "<Unknown type>" (and a trace) for a key
// that is not in the table.
const std::u16string& get_sql_type_name(int key);

// The column type text of a descriptor: the full type for a column
// definition ("VARCHAR(255)", "DECIMAL(19,4)"), or only the keyword when
// `name_only`. A tag that has no MySQL column type is an internal error.
std::u16string get_sql_native_type2(const t_ftd& field, bool name_only);

// The column type text of a user-mapped type: VARCHAR and CHAR take the
// length, DECIMAL the precision and scale; any other name stands as written.
std::u16string get_sql_native_type1(const sql_native_type& type);

// The variant tag of a MySQL type name (the reverse of the column type
// rule); sets `size` where the name implies one and leaves it otherwise.
VARTYPE get_vartype_from_name(std::u16string_view name, uint32_t& size);

// The text that follows DEFAULT in a column definition, or the empty text
// when the column gets no DEFAULT clause.
std::u16string make_mysql_def_val(const t_ftd& field);

// ---- Value literals -------------------------------------------------------
// The literal of a value given as text and tag: NULL for VT_EMPTY/VT_NULL,
// '' for empty text, binary text bare when it is a numeric literal, a GUID
// in quotes, dates re-printed and quoted, text quoted and escaped, numbers
// bare when the text is a plain number (quoted and escaped otherwise, so
// that no text ever leaves a literal).
std::u16string to_mysql_wstr(std::u16string_view text, VARTYPE vt, sql_literal_style style = sql_literal_style::live);
std::string to_mysql_str(std::string_view text, VARTYPE vt, sql_literal_style style = sql_literal_style::live);
// The literal of a variant: binary values as 0x + upper-case hex (NULL when
// empty), every other value through its text form and its own tag.
std::string to_mysql_str(const ole_variant& value, sql_literal_style style = sql_literal_style::live);

// Appending forms of the three above; the wide text is written as UTF-8.
void append_mysql_wstr(std::string& out, std::u16string_view text, VARTYPE vt,
                       sql_literal_style style = sql_literal_style::live);
void append_mysql_str(std::string& out, std::string_view text, VARTYPE vt,
                      sql_literal_style style = sql_literal_style::live);
void append_mysql_str(std::string& out, const ole_variant& value, sql_literal_style style = sql_literal_style::live);

// The literal of one cell for a data statement, appended to `out` (UTF-8).
// `cell` is the record's field, `column` the destination column. The
// literal follows the cell's own tag, except that text in a numeric column
// is written as a number. With `allow_placeholder` a cell larger than
// sql_max_inline_field_size is written as "?". Empty and null cells become
// NULL, or, in a NOT NULL column that is not text or binary, 0 for a
// numeric cell and the cell's own literal otherwise. A null `cell` or
// `column` is an internal error.
void get_fld_append_str(std::string& out, const udb_field* cell, const t_ftd* column, bool allow_placeholder,
                        sql_literal_style style = sql_literal_style::live);
std::string get_fld_append_str(const udb_field* cell, const t_ftd* column, bool allow_placeholder,
                               sql_literal_style style = sql_literal_style::live);

// ---- Reading server cells -------------------------------------------------
// Flag bits of a result column (as the client library sets them).
inline constexpr unsigned sql_unsigned_flag = 32;
inline constexpr unsigned sql_binary_flag = 128;

// The variant tag for a result column of the given protocol type and flags.
// BLOB columns read as text when the engine's blob_to_text is on (off when
// no engine is registered).
VARTYPE get_vartype(int mysql_type, unsigned flags);

// Builds the value of one raw result cell into `out` (its storage reused;
// numbers never allocate). A null `data` is a NULL cell. Narrow cells are
// UTF-8 text or raw bytes of `length` bytes; text that is not UTF-8 raises
// "Cannot convert to UNICODE string: ".
void get_variant(ole_variant& out, int mysql_type, size_t length, unsigned flags, const char* data);
// Wide cells: `length` UTF-16 units; a byte array keeps the low byte of
// each unit.
void get_variant(ole_variant& out, int mysql_type, size_t length, unsigned flags, const char16_t* data);

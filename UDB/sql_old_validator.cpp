#include "sql_old_validator.h"

#include <algorithm>

#include "tk_logger.h"
#include "tk_mail_assertion.h"
#include "tk_wstring.h"
#include "udb_record.h"
#include "udb_schema.h"

namespace {

constexpr uint32_t old_max_length = 64;

bool is_digit(char16_t c) { return c >= u'0' && c <= u'9'; }

// The code point at name[i] and its length in units.
char32_t code_point(std::u16string_view name, size_t i, size_t& units) {
  char16_t c = name[i];
  if (c >= 0xD800 && c <= 0xDBFF && i + 1 < name.size() && name[i + 1] >= 0xDC00 && name[i + 1] <= 0xDFFF) {
    units = 2;
    return 0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(name[i + 1]) - 0xDC00);
  }
  units = 1;
  return c;
}

bool is_name_char(char32_t c) { return c == U'_' || c == U'$' || tk_wstring::is_alnum(c); }

bool all_digits(std::u16string_view name) {
  if (name.empty()) return false;
  for (char16_t c : name)
    if (!is_digit(c)) return false;
  return true;
}

}  // namespace

const std::array<std::u16string_view, 167>& sql_old_validator::reserved_words() {
  static constexpr std::array<std::u16string_view, 167> words = {u"add",
                                                                 u"all",
                                                                 u"alter",
                                                                 u"and",
                                                                 u"as",
                                                                 u"asc",
                                                                 u"between",
                                                                 u"bigint",
                                                                 u"binary",
                                                                 u"blob",
                                                                 u"both",
                                                                 u"by",
                                                                 u"cascade",
                                                                 u"case",
                                                                 u"char",
                                                                 u"character",
                                                                 u"change",
                                                                 u"column",
                                                                 u"columns",
                                                                 u"constraint",
                                                                 u"create",
                                                                 u"cross",
                                                                 u"current_date",
                                                                 u"current_time",
                                                                 u"current_timestamp",
                                                                 u"database",
                                                                 u"databases",
                                                                 u"day_hour",
                                                                 u"day_minute",
                                                                 u"day_second",
                                                                 u"dec",
                                                                 u"decimal",
                                                                 u"default",
                                                                 u"delayed",
                                                                 u"delete",
                                                                 u"desc",
                                                                 u"describe",
                                                                 u"distinct",
                                                                 u"distinctrow",
                                                                 u"double",
                                                                 u"drop",
                                                                 u"else",
                                                                 u"escaped",
                                                                 u"enclosed",
                                                                 u"explain",
                                                                 u"exists",
                                                                 u"fields",
                                                                 u"float",
                                                                 u"float4",
                                                                 u"float8",
                                                                 u"foreign",
                                                                 u"from",
                                                                 u"for",
                                                                 u"grant",
                                                                 u"group",
                                                                 u"having",
                                                                 u"high_priority",
                                                                 u"hour_minute",
                                                                 u"hour_second",
                                                                 u"ignore",
                                                                 u"in",
                                                                 u"index",
                                                                 u"infile",
                                                                 u"inner",
                                                                 u"insert",
                                                                 u"insert_id",
                                                                 u"int",
                                                                 u"int1",
                                                                 u"int2",
                                                                 u"int3",
                                                                 u"int4",
                                                                 u"int8",
                                                                 u"integer",
                                                                 u"interval",
                                                                 u"into",
                                                                 u"if",
                                                                 u"is",
                                                                 u"join",
                                                                 u"key",
                                                                 u"keys",
                                                                 u"kill",
                                                                 u"last_insert_id",
                                                                 u"leading",
                                                                 u"left",
                                                                 u"like",
                                                                 u"lines",
                                                                 u"limit",
                                                                 u"load",
                                                                 u"lock",
                                                                 u"long",
                                                                 u"longblob",
                                                                 u"longtext",
                                                                 u"low_priority",
                                                                 u"match",
                                                                 u"mediumblob",
                                                                 u"mediumtext",
                                                                 u"mediumint",
                                                                 u"middleint",
                                                                 u"minute_second",
                                                                 u"natural",
                                                                 u"numeric",
                                                                 u"not",
                                                                 u"null",
                                                                 u"on",
                                                                 u"optimize",
                                                                 u"option",
                                                                 u"optionally",
                                                                 u"or",
                                                                 u"order",
                                                                 u"outer",
                                                                 u"outfile",
                                                                 u"partial",
                                                                 u"precision",
                                                                 u"primary",
                                                                 u"procedure",
                                                                 u"privileges",
                                                                 u"read",
                                                                 u"real",
                                                                 u"regexp",
                                                                 u"rename",
                                                                 u"replace",
                                                                 u"restrict",
                                                                 u"returns",
                                                                 u"revoke",
                                                                 u"rlike",
                                                                 u"select",
                                                                 u"set",
                                                                 u"show",
                                                                 u"smallint",
                                                                 u"soname",
                                                                 u"sql_big_tables",
                                                                 u"sql_big_selects",
                                                                 u"sql_low_priority_updates",
                                                                 u"sql_log_off",
                                                                 u"sql_log_update",
                                                                 u"sql_select_limit",
                                                                 u"sql_small_result",
                                                                 u"sql_big_result",
                                                                 u"sql_warnings",
                                                                 u"straight_join",
                                                                 u"starting",
                                                                 u"table",
                                                                 u"tables",
                                                                 u"terminated",
                                                                 u"then",
                                                                 u"tinyblob",
                                                                 u"tinytext",
                                                                 u"tinyint",
                                                                 u"trailing",
                                                                 u"to",
                                                                 u"usage",
                                                                 u"use",
                                                                 u"using",
                                                                 u"unique",
                                                                 u"unlock",
                                                                 u"unsigned",
                                                                 u"update",
                                                                 u"values",
                                                                 u"varchar",
                                                                 u"varying",
                                                                 u"varbinary",
                                                                 u"with",
                                                                 u"write",
                                                                 u"when",
                                                                 u"where",
                                                                 u"year_month",
                                                                 u"zerofill"};
  return words;
}

namespace {

// Words the servers reserve besides those of reserved_words() (in every
// version, as `check`, or from a later one on): a dump of bare names that
// holds one does not load, and its DROP TABLE has gone before the failing
// CREATE TABLE.
constexpr std::u16string_view later_reserved_words[] = {u"accessible",
                                                        u"analyze",
                                                        u"asensitive",
                                                        u"before",
                                                        u"call",
                                                        u"check",
                                                        u"collate",
                                                        u"condition",
                                                        u"continue",
                                                        u"convert",
                                                        u"current_user",
                                                        u"cursor",
                                                        u"day_microsecond",
                                                        u"declare",
                                                        u"deterministic",
                                                        u"div",
                                                        u"dual",
                                                        u"each",
                                                        u"elseif",
                                                        u"exit",
                                                        u"false",
                                                        u"fetch",
                                                        u"force",
                                                        u"fulltext",
                                                        u"hour_microsecond",
                                                        u"inout",
                                                        u"insensitive",
                                                        u"iterate",
                                                        u"leave",
                                                        u"linear",
                                                        u"localtime",
                                                        u"localtimestamp",
                                                        u"loop",
                                                        u"minute_microsecond",
                                                        u"mod",
                                                        u"modifies",
                                                        u"no_write_to_binlog",
                                                        u"out",
                                                        u"purge",
                                                        u"range",
                                                        u"reads",
                                                        u"read_write",
                                                        u"references",
                                                        u"release",
                                                        u"repeat",
                                                        u"require",
                                                        u"return",
                                                        u"right",
                                                        u"schema",
                                                        u"schemas",
                                                        u"second_microsecond",
                                                        u"sensitive",
                                                        u"separator",
                                                        u"spatial",
                                                        u"specific",
                                                        u"sql",
                                                        u"sqlexception",
                                                        u"sqlstate",
                                                        u"sqlwarning",
                                                        u"sql_calc_found_rows",
                                                        u"ssl",
                                                        u"trigger",
                                                        u"true",
                                                        u"undo",
                                                        u"union",
                                                        u"utc_date",
                                                        u"utc_time",
                                                        u"utc_timestamp",
                                                        u"varcharacter",
                                                        u"while",
                                                        u"xor"};

// Whether a name reads as a number: digits and an exponent (1e5), a hex or
// binary literal (0x1F, 0b101).
bool reads_as_number(std::u16string_view name) {
  const auto hex = [](char16_t c) { return is_digit(c) || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F'); };
  if (name.size() > 2 && name[0] == u'0' && (name[1] == u'x' || name[1] == u'X'))
    return std::all_of(name.begin() + 2, name.end(), hex);
  if (name.size() > 2 && name[0] == u'0' && (name[1] == u'b' || name[1] == u'B'))
    return std::all_of(name.begin() + 2, name.end(), [](char16_t c) { return c == u'0' || c == u'1'; });
  const size_t e = name.find_first_of(u"eE");
  return e != 0 && e != std::u16string_view::npos && e + 1 < name.size() && all_digits(name.substr(0, e)) &&
         all_digits(name.substr(e + 1));
}

}  // namespace

sql_old_validator::sql_old_validator() : udb_validator(old_max_length) {
  for (std::u16string_view word : reserved_words()) add_restricted(word);
  for (std::u16string_view word : later_reserved_words) add_restricted(word);
}

bool sql_old_validator::is_acceptable(std::u16string_view name) const {
  if (!udb_validator::is_acceptable(name)) return false;
  for (size_t i = 0, units = 1; i < name.size(); i += units) {
    if (!is_name_char(code_point(name, i, units))) {
      TK_TRACE(1, "Name contains invalid symbol: '%c'", name[i]);
      return false;
    }
  }
  if (reads_as_number(name)) {
    TK_TRACE(1, "Name reads as a number");
    return false;
  }
  for (char16_t c : name)
    if (!is_digit(c)) return true;
  TK_TRACE(1, "Name consists of digits only");
  return false;
}

std::u16string sql_old_validator::get_safe_name(std::u16string_view name) const {
  std::u16string prepared;
  prepared.reserve(name.size());
  for (size_t i = 0, units = 1; i < name.size(); i += units) {
    if (is_name_char(code_point(name, i, units))) {
      prepared.append(name.substr(i, units));
    } else {
      prepared += u'_';
    }
  }
  // Nor may it read as a number once it is cut to length or a counter's
  // digits follow ("0x" and "0x00000"): digits and an exponent's letter, or
  // a hex or binary prefix, begin it.
  const size_t digits = static_cast<size_t>(
      std::find_if(prepared.begin(), prepared.end(), [](char16_t c) { return !is_digit(c); }) - prepared.begin());
  const char16_t after = digits < prepared.size() ? prepared[digits] : u'\0';
  const bool number_head =
      digits > 0 &&
      (after == u'e' || after == u'E' ||
       (digits == 1 && prepared[0] == u'0' && (after == u'x' || after == u'X' || after == u'b' || after == u'B')));
  if (all_digits(prepared) || number_head) prepared[0] = u'_';
  // An empty name can only be followed by digits, and a name of digits is
  // never acceptable here: every counter would be rejected.
  if (prepared.empty()) throw tk_mail_assertion("udb_vali", 55);
  return make_safe(std::move(prepared));
}

sql_old_tn_validator::sql_old_tn_validator(const std::vector<std::u16string>& tables,
                                           const std::vector<std::u16string>& views) {
  TK_TRACE(1, "sql_old_tn_validator::ctor");
  for (const auto& t : tables) add_existing_name(t);
  for (const auto& v : views) add_existing_name(v);
}

sql_old_fn_validator::sql_old_fn_validator() = default;

sql_old_fn_validator::sql_old_fn_validator(const udb_record& record) {
  TK_TRACE(1, "sql_old_fn_validator::ctor( const udb_record& )");
  TK_TRACE(1, "Record size=%d", record.size());
  for (size_t i = 0; i < record.size(); ++i) {
    TK_TRACE(1, "Process record[%d]", i);
    register_source_name(record[i].name());
  }
}

sql_old_fn_validator::sql_old_fn_validator(const udb_schema& schema) {
  TK_TRACE(1, "sql_old_fn_validator::ctor( const udb_schema& )");
  TK_TRACE(1, "Schema size=%d", schema.size());
  for (size_t i = 0; i < schema.size(); ++i) {
    TK_TRACE(1, "Process schema[%d]", i);
    if (schema.fields[i]) register_source_name(schema.fields[i]->name);
  }
}

sql_old_in_validator::sql_old_in_validator(const std::vector<std::u16string>& indexes) {
  TK_TRACE(1, "sql_old_in_validator::ctor");
  for (const auto& name : indexes) add_existing_name(name);
}

#pragma once
// Name rules for MySQL 4.1.0 and later, where identifiers are quoted with
// backticks: 1 to 64 characters, no blank at either end, and none of the
// forbidden characters of the scope (table names exclude all 14, column and
// index names the first eight). One class per naming scope.

#include <string>
#include <string_view>
#include <vector>

#include "udb_validator.h"

class udb_record;
class udb_schema;

class sql_new_validator : public udb_validator {
 public:
  // The 14 characters no table name may hold; columns and indexes exclude
  // the first 8.
  static constexpr char16_t forbidden_chars[14] = {u'`', u'"', u'\'', u'^', u'*', u'\\', u';',
                                                   u'+', u'|', u':',  u'<', u'>', u'?',  u'/'};
  static constexpr size_t max_name_length = 64;

  sql_new_validator();
  bool is_acceptable(std::u16string_view name) const override;
  // Leading and trailing blanks removed, then the base algorithm.
  std::u16string get_safe_name(std::u16string_view name) const override;
};

// Table names of one database; the names of its tables and views exist.
class sql_new_tn_validator : public sql_new_validator {
 public:
  sql_new_tn_validator(const std::vector<std::u16string>& tables, const std::vector<std::u16string>& views);
};

// Column names of one table. Built from a record or a schema, it names
// every column in order (safe name made, taken, and recorded as a mapped
// pair when it differs), so get_mapped_name gives the column made for each
// source name. Built empty, the caller names the columns.
class sql_new_fn_validator : public sql_new_validator {
 public:
  sql_new_fn_validator();
  explicit sql_new_fn_validator(const udb_record& record);
  explicit sql_new_fn_validator(const udb_schema& schema);
};

// Index names of one table; the given names exist.
class sql_new_in_validator : public sql_new_validator {
 public:
  explicit sql_new_in_validator(const std::vector<std::u16string>& indexes);
};

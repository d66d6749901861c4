#pragma once
// Name rules for MySQL servers before 4.1.0, where identifiers are written
// bare: at most 64 letters, digits, '_' and '$', not digits only, and not
// one of the 167 reserved words. One class per naming scope; the scopes
// are filled as their counterparts of the new rules (sql_new_validator.h).

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "udb_validator.h"

class udb_record;
class udb_schema;

class sql_old_validator : public udb_validator {
 public:
  static const std::array<std::u16string_view, 167>& reserved_words();

  sql_old_validator();
  bool is_acceptable(std::u16string_view name) const override;
  // Characters other than letters, digits, '_' and '$' become '_'; a name
  // of digits only gets '_' for its first character; then the base
  // algorithm.
  std::u16string get_safe_name(std::u16string_view name) const override;
};

class sql_old_tn_validator : public sql_old_validator {
 public:
  sql_old_tn_validator(const std::vector<std::u16string>& tables, const std::vector<std::u16string>& views);
};

class sql_old_fn_validator : public sql_old_validator {
 public:
  sql_old_fn_validator();
  explicit sql_old_fn_validator(const udb_record& record);
  explicit sql_old_fn_validator(const udb_schema& schema);
};

class sql_old_in_validator : public sql_old_validator {
 public:
  explicit sql_old_in_validator(const std::vector<std::u16string>& indexes);
};

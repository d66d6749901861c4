#pragma once
// A column rule of the type mappings in MySQL terms: the type text names a
// MySQL type; the value tag, and the length a type such as VARCHAR(40)
// implies, come from the MySQL type name; the column type text is the
// mapped name with its length (VARCHAR, CHAR) or precision and scale
// (DECIMAL).

#include "sql_dialect.h"
#include "udb_field_mutator.h"

class sql_field_mutator : public udb_field_mutator {
 public:
  using udb_field_mutator::udb_field_mutator;

  // The mapped type as the MySQL type-text functions take it.
  sql_native_type native_type_record(uint32_t length) const;

 protected:
  void resolve_type() override;
  std::u16string native_type_text(uint32_t length) const override;
};

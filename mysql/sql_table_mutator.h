#pragma once
// A table rule of the type mappings whose column rules are MySQL ones
// (sql_field_mutator).

#include "udb_table_mutator.h"

class sql_table_mutator : public udb_table_mutator {
 public:
  using udb_table_mutator::udb_table_mutator;

 protected:
  std::unique_ptr<udb_field_mutator> create_field_mutator(std::u16string source_name) const override;
};

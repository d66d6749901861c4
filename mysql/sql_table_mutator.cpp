#include "sql_table_mutator.h"

#include "sql_field_mutator.h"

std::unique_ptr<udb_field_mutator> sql_table_mutator::create_field_mutator(std::u16string source_name) const {
  return std::make_unique<sql_field_mutator>(std::move(source_name));
}

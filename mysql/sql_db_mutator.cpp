#include "sql_db_mutator.h"

#include "sql_table_mutator.h"

std::unique_ptr<udb_table_mutator> sql_db_mutator::create_table_mutator(std::u16string source_name) const {
  return std::make_unique<sql_table_mutator>(std::move(source_name));
}

#pragma once
// The type mappings of a MySQL conversion: table rules of the MySQL kind
// (sql_table_mutator, sql_field_mutator). The conversion driver is itself
// this object; its profile loading calls load(profile) after the generic
// and the MySQL settings, and the MySQL destinations ask it for a table's
// "engine" and "character set" through get_table_properties.

#include "udb_db_mutator.h"

class sql_db_mutator : public udb_db_mutator {
 public:
  sql_db_mutator() = default;

 protected:
  std::unique_ptr<udb_table_mutator> create_table_mutator(std::u16string source_name) const override;
};

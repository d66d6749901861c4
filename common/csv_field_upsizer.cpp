#include "csv_field_upsizer.h"

#include "csv_file.h"
#include "tk_logger.h"
#include "udb_record.h"
#include "udb_recordset.h"

csv_field_upsizer::csv_field_upsizer(udb_database* database, udb_recordset* table)
    : database_(database), table_(table) {}

csv_field_upsizer::~csv_field_upsizer() = default;

void csv_field_upsizer::do_upsize(const t_ftd&) {}

void csv_field_upsizer::process(const udb_record& record) {
  TK_TRACE(2, "csv_field_upsizer::process");
  for (size_t i = 0; i < record.size(); ++i) {
    if (upsized_.size() < i + 1) upsized_.push_back(false);
    const udb_field& field = record[i];
    // Only text can outgrow a text column; a value the type mapping made
    // into a number keeps its column type.
    const size_t size = field.get_type() == VT_BSTR ? field.text().size() : 0;
    TK_TRACE(1, "Field size: %d", size);
    if (size <= csv_file::column_size || upsized_[i]) continue;
    upsized_[i] = true;
    const udb_schema* schema = table_ ? &table_->schema() : nullptr;
    if (!schema || i >= schema->size() || !schema->fields[i]) {
      TK_TRACE(3, "csv_field_upsizer::process - no column #%d in the destination table", i);
      continue;
    }
    TK_TRACE(3, "csv_field_upsizer::process - upsize field #%d", i);
    do_upsize(*schema->fields[i]);
    // The column now holds a text of any length.
    table_->schema().fields[i]->size = 0;
  }
}

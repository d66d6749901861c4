#include "csv_field_upsizer.h"

#include "csv_file.h"
#include "t_ftd.h"
#include "tk_logger.h"
#include "udb_record.h"
#include "udb_recordset.h"

namespace {

// No character set takes more bytes for a UTF-16 unit: a value of at most
// a step's capacity / 4 units cannot outgrow the step, and is not measured.
constexpr uint64_t max_bytes_per_unit = 4;

uint64_t capacity(csv_field_upsizer::step s) {
  switch (s) {
    case csv_field_upsizer::step::text:
      return csv_field_upsizer::text_max_bytes;
    case csv_field_upsizer::step::mediumtext:
      return csv_field_upsizer::mediumtext_max_bytes;
    default:
      return UINT64_MAX;
  }
}

}  // namespace

csv_field_upsizer::csv_field_upsizer(udb_database* database, udb_recordset* table)
    : database_(database), table_(table) {}

csv_field_upsizer::~csv_field_upsizer() = default;

uint64_t csv_field_upsizer::stored_bytes(std::u16string_view text) const {
  uint64_t n = 0;
  // A surrogate pair is 2 units and 4 bytes: 2 bytes a unit.
  for (const char16_t c : text) n += c < 0x80 ? 1 : c < 0x800 || (c >= 0xD800 && c <= 0xDFFF) ? 2 : 3;
  return n;
}

csv_field_upsizer::step csv_field_upsizer::initial_step(const t_ftd& column) const {
  return column.vartype == VT_BSTR ? step::varchar : step::fixed;
}

void csv_field_upsizer::do_upsize(const t_ftd&, step) {}

void csv_field_upsizer::process(const udb_record& record) {
  TK_TRACE(2, "csv_field_upsizer::process");
  const udb_schema* schema = table_ ? &table_->schema() : nullptr;
  for (size_t i = 0; i < record.size(); ++i) {
    if (steps_.size() < i + 1) {
      const bool known = schema && i < schema->size() && schema->fields[i];
      if (!known) TK_TRACE(3, "csv_field_upsizer::process - no column #%d in the destination table", i);
      const bool kept = i < kept_.size() && kept_[i];
      steps_.push_back(known && !kept ? initial_step(*schema->fields[i]) : step::fixed);
    }
    const step now = steps_[i];
    const udb_field& field = record[i];
    // Only text can outgrow a text column; a value the type mapping made
    // into a number keeps its column type.
    if (now == step::fixed || now == step::longtext || field.get_type() != VT_BSTR) continue;
    const size_t units = field.text_units();
    TK_TRACE(1, "Field size: %d", units);
    if (now == step::varchar ? units <= csv_file::column_size : units * max_bytes_per_unit <= capacity(now)) continue;
    const auto utf8 = field.utf8();
    const uint64_t bytes = utf8 && stores_utf8() ? utf8->size() : stored_bytes(field.text());
    const step to = bytes <= text_max_bytes         ? step::text
                    : bytes <= mediumtext_max_bytes ? step::mediumtext
                                                    : step::longtext;
    if (to <= now) continue;
    steps_[i] = to;
    TK_TRACE(3, "csv_field_upsizer::process - upsize field #%d for %d bytes", i, bytes);
    do_upsize(*schema->fields[i], to);
    // The column now holds a text of any length.
    table_->schema().fields[i]->size = 0;
  }
}

#include "sql_indexes_initializer.h"

#include "ole_variant.h"
#include "sql_schema_initializer.h"
#include "tk_logger.h"

sql_indexes_initializer::sql_indexes_initializer(const udb_indexes& indexes, const sql_dialect& dialect)
    : dialect_(dialect), validator_(dialect.create_in_validator({})) {
  TK_TRACE(2, "sql_indexes_initializer::ctor");
  for (const udb_index& source : indexes) {
    udb_index index = source;
    if (!index.b_primary) {
      index.name = validator_->get_safe_name(source.name);
      validator_->add_existing_name(index.name);
      if (index.name != source.name) TK_TRACE(1, "Store generated index name '%s'", index.name);
    }
    TK_TRACE(1, "udb_index::ctor('%s',%d,%d)", index.name, index.b_unique, index.b_primary);
    indexes_.push_back(index);
  }
}

std::vector<std::string> sql_indexes_initializer::get_init_chunks(const sql_schema_initializer& columns) {
  TK_TRACE(2, "sql_indexes_initializer::get_init_chunks(n_indexes=%d)", indexes_.size());
  const bool new_server = !dialect_.is_old_version();
  const uint32_t size_limit = new_server ? max_key_size : max_key_size_old;
  const size_t count_limit = new_server ? max_keys : max_keys_old;
  const sql_schema& schema = columns.schema();
  const ptrdiff_t auto_column = columns.auto_number_column();
  bool auto_indexed = false;
  std::vector<std::string> keys;
  for (const udb_index& index : indexes_) {
    TK_TRACE(1, "Process index '%s'", index.name);
    if (index.fields.empty()) {
      TK_TRACE(3, "Skip index '%s' as it is built on empty fields list", index.name);
      continue;
    }
    if (keys.size() >= count_limit) {
      TK_TRACE(3, "Max number of indexes has been reached");
      break;
    }
    std::vector<std::u16string> key_columns;
    bool usable = true;
    bool covers_auto = false;
    uint32_t total = 0;
    for (size_t k = 0; k < index.fields.size() && usable; ++k) {
      TK_TRACE(1, "Process idx.field %s", index.fields[k]);
      const ptrdiff_t at = schema.find_index(index.fields[k]);
      if (at < 0) {
        TK_TRACE(3, "Index column '%s' is not found", index.fields[k]);
        usable = false;
        break;
      }
      const t_ftd& field = *schema.fields[static_cast<size_t>(at)];
      if (at == auto_column) {
        TK_TRACE(1, "Got index for auto_increment field");
        covers_auto = true;
      }
      if (ole_variant::is_binary(field.vartype) ||
          (field.vartype == VT_BSTR && (field.size == 0 || field.size >= min_lob_text))) {
        TK_TRACE(3, "Index '%s' built on LOB column(s) is not allowed", index.name);
        usable = false;
        break;
      }
      total += field.size;
      if (total > size_limit) {
        TK_TRACE(3, "Index '%s' is too big, skip it", index.name);
        usable = false;
        break;
      }
      key_columns.push_back(columns.column_name(static_cast<size_t>(at)));
    }
    if (!usable) continue;
    std::string sql = dialect_.key_definition(index.b_primary, index.b_unique, index.name, key_columns);
    TK_TRACE(1, "sql_query=%s", sql);
    if (covers_auto) auto_indexed = true;
    keys.push_back(std::move(sql));
  }

  if (auto_column >= 0 && !auto_indexed) {
    TK_TRACE(1, "Creating index for auto-field");
    const std::u16string& column = columns.column_name(static_cast<size_t>(auto_column));
    const std::u16string name = validator_->get_safe_name(column);
    validator_->add_existing_name(name);
    keys.push_back(dialect_.key_definition(false, false, name, {column}));
  }
  return keys;
}

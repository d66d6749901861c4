#include "udb_recordset.h"

#include "tk_logger.h"

udb_recordset::udb_recordset(udb_database* database, std::u16string name, std::u16string table)
    : name_(std::move(name)), table_(std::move(table)), database_(database) {}

udb_recordset::~udb_recordset() = default;

void udb_recordset::append_record(const udb_record&) { TK_TRACE(1, "udb_recordset::append_record"); }
udb_record* udb_recordset::get_record() { return nullptr; }
bool udb_recordset::is_eof() { return false; }
void udb_recordset::move_next() {}
void udb_recordset::move_prev() {}
void udb_recordset::reset() {}

void udb_recordset::add_index(const udb_index& index) {
  TK_TRACE(1, "udb_recordset::add_index(%s, %d)", index.name, key_pos_);
  if (!indexes_.is_acceptable_name(index.name)) {
    TK_TRACE(2, "Index '%s' cannot be processed", index.name);
    return;
  }
  if (index.b_primary || (index.b_unique && key_pos_ == -1)) {
    TK_TRACE(1, "Store primary/unique key");
    key_pos_ = static_cast<int32_t>(indexes_.size());
  }
  indexes_.push_back(index);
}

#include "sql_schema.h"

#include "tk_logger.h"
#include "tk_mail_assertion.h"

sql_schema::sql_schema(const udb_schema& source) {
  for (const auto& field : source.fields)
    if (field) push_back(std::make_unique<t_ftd>(*field));
}

void sql_schema::push_back(std::unique_ptr<t_ftd> field) {
  TK_TRACE(1, "sql_schema::push_back(%s, size=%d)", field ? field->name : std::u16string(), field ? field->size : 0);
  if (!field) throw tk_mail_assertion("sql_sche", __LINE__);
  const uint32_t size = field->size;
  // A type the type mappings give stays as given (never turned into
  // LONGTEXT); its text of a long type lies off the row.
  const bool mapped = !field->native_type.empty();
  if (mapped && field->vartype == VT_BSTR && (size == 0 || size > max_short_text)) {
    overhead_ += long_value_pointer_bytes;
  } else if (mapped && field->vartype == VT_BSTR) {
    total_size_ += size * bytes_per_char;
    overhead_ += short_text_length_bytes;
  } else if (field->vartype == VT_BSTR && size >= 1 && size <= max_short_text) {
    TK_TRACE(1, "Special processing for string values");
    // Among equal sizes the newer column comes first.
    size_t at = 0;
    while (at < lobs_.size() && fields[lobs_[at]]->size > size) ++at;
    TK_TRACE(1, "Insert new column into 'lobs' at pos=%d", at);
    lobs_.insert(lobs_.begin() + static_cast<ptrdiff_t>(at), fields.size());
    total_size_ += size * bytes_per_char;
    overhead_ += short_text_length_bytes;
  } else if (size < off_row_size && !(field->vartype == VT_BSTR && size == 0)) {
    total_size_ += size;
  } else {
    overhead_ += long_value_pointer_bytes;
  }
  fields.push_back(std::move(field));

  if (total_size_ + overhead() <= max_row_bytes) return;
  TK_TRACE(3, "Schema total size %d exceeds %d bytes, transforming schema...", total_size_, max_row_bytes);
  while (total_size_ + overhead() > max_row_bytes && !lobs_.empty()) {
    t_ftd& column = *fields[lobs_.front()];
    TK_TRACE(3, "Column '%s' converted into LONG TEXT", column.name);
    const uint32_t bytes = column.size * bytes_per_char;
    TK_TRACE(1, "Decreasing total size at %d bytes", bytes);
    total_size_ = total_size_ > bytes ? total_size_ - bytes : 0;
    TK_TRACE(1, "New total_size = %d", total_size_);
    column.size = 0;
    overhead_ += long_value_pointer_bytes - short_text_length_bytes;
    lobs_.erase(lobs_.begin());
  }
}

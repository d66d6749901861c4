#include "csv_record.h"

#include <memory>

#include "csv_field.h"
#include "tk_logger.h"

csv_record::csv_record(const udb_schema* schema) : schema_(schema) {}

csv_record::~csv_record() = default;

udb_field& csv_record::next_field(size_t k) {
  const bool named = schema_ && k < schema_->size() && schema_->fields[k];
  if (k < built_) {
    // A field kept aside by clear(): add() hands it back with its buffers.
    return named ? add(schema_->fields[k]->name) : add(csv_field::default_name(k + 1));
  }
  ++built_;
  push_back(named ? std::make_unique<csv_field>(schema_->fields[k]->name, std::u16string_view())
                  : std::make_unique<csv_field>(k + 1, std::u16string_view()));
  return (*this)[k];
}

void csv_record::do_create(std::u16string_view line, char16_t delimiter) {
  TK_TRACE(2, "csv_record::do_create(%s)", line);
  TK_TRACE(1, "GOT DELIM: %s", std::u16string_view(&delimiter, 1));
  clear();
  const size_t limit = schema_ ? schema_->size() : 0;
  const char16_t* p = line.data();
  const char16_t* const end = p + line.size();
  size_t k = 0;
  bool in_quotes = false;
  udb_field* field = &next_field(0);
  std::u16string* text = &field->text_for_write();
  while (p < end) {
    const char16_t c = *p;
    if (c == u'"') {
      if (in_quotes && p + 1 < end && p[1] == u'"') {
        *text += u'"';
        p += 2;
      } else {
        in_quotes = !in_quotes;
        ++p;
      }
      continue;
    }
    if (c == delimiter && !in_quotes) {
      TK_TRACE(1, "c_str='%s'", std::u16string_view(p, static_cast<size_t>(end - p)));
      TK_TRACE(1, "Got comma");
      field->set_declared_size(static_cast<uint32_t>(text->size()));
      ++k;
      if (limit > 0 && k >= limit) return;
      field = &next_field(k);
      text = &field->text_for_write();
      ++p;
      continue;
    }
    // A run of ordinary characters is copied whole.
    const char16_t* run = p + 1;
    if (in_quotes) {
      while (run < end && *run != u'"') ++run;
    } else {
      while (run < end && *run != u'"' && *run != delimiter) ++run;
    }
    text->append(p, static_cast<size_t>(run - p));
    p = run;
  }
  field->set_declared_size(static_cast<uint32_t>(text->size()));
}

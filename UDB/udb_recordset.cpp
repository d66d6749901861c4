#include "udb_recordset.h"

#include "ole_variant.h"
#include "tk_exception.h"
#include "tk_logger.h"

namespace {

// The key description's entities, decoded in this order.
void decode_entities(std::u16string& value) {
  static constexpr std::pair<std::u16string_view, char16_t> entities[] = {
      {u"&lt;", u'<'}, {u"&gt;", u'>'}, {u"&amp;", u'&'}};
  for (const auto& [entity, ch] : entities) {
    size_t at = 0;
    while ((at = value.find(entity, at)) != std::u16string::npos) {
      value.replace(at, entity.size(), 1, ch);
      ++at;
    }
  }
}

// Tags whose values are written bare in the filter.
bool is_bare_value(VARTYPE vt) {
  return (vt >= VT_I2 && vt <= VT_CY) || vt == VT_BOOL || vt == VT_DECIMAL || (vt >= VT_I1 && vt <= VT_UI8) ||
         ole_variant::is_binary(vt);
}

}  // namespace

udb_recordset::udb_recordset(udb_database* database, std::u16string name, std::u16string table)
    : name_(std::move(name)), table_(std::move(table)), database_(database) {}

udb_recordset::~udb_recordset() = default;

void udb_recordset::append_record(const udb_record&) { TK_TRACE(1, "udb_recordset::append_record"); }
void udb_recordset::update(const std::u16string&, const udb_record&) { TK_TRACE(1, "udb_recordset::update2"); }
void udb_recordset::update(const udb_record&) { TK_TRACE(1, "udb_recordset::update1"); }
void udb_recordset::reserved() {}
udb_record* udb_recordset::get_record() { return nullptr; }
bool udb_recordset::is_eof() { return false; }
bool udb_recordset::is_valid() const { return !name_.empty(); }
void udb_recordset::move_to(int32_t position) { TK_TRACE(1, "udb_recordset::move_to(%d)", position); }
void udb_recordset::move_next() {}
void udb_recordset::move_prev() {}
void udb_recordset::reset() {}
void udb_recordset::delete_key(const std::u16string&) {}
void udb_recordset::delete_key(const udb_record&) {}

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

bool udb_recordset::get_key(const udb_record& row, udb_record& key) const {
  TK_TRACE(1, "udb_recordset::get_key(that.size=%d)", row.size());
  if (key_pos_ < 0 || static_cast<size_t>(key_pos_) >= indexes_.size())
    throw tk_exception("There's no primary/unique key", 0);
  const udb_index& index = indexes_[static_cast<size_t>(key_pos_)];
  key.clear();
  int step = 0;
  for (const std::u16string& column : index.fields) {
    ++step;
    TK_TRACE(1, "Step %d.1", step);
    const udb_field* field = row.find(column);
    if (!field) {
      TK_TRACE(3, "Key field '%s' is not found in record", column);
      key.clear();
      return false;
    }
    TK_TRACE(1, "Step %d.2", step);
    key.push_back(*field);
    TK_TRACE(1, ">> Got key field: %s", column);
  }
  return true;
}

std::u16string udb_recordset::get_filter_subquery(std::u16string_view key) const {
  TK_TRACE(1, "udb_recordset::get_filter_subquery(%s)", key);
  enum class state { text, name, value, closing } at = state::text;
  std::u16string result;
  std::u16string column;
  std::u16string value;
  const t_ftd* field = nullptr;

  auto open_condition = [&]() {
    if (!result.empty()) result += u" and ";
    field = schema_.find(column);
    if (!field) {
      TK_TRACE(2, "Field %s not found in the schema", column);
      throw tk_exception("The structure of data source does not conform to the destination table.", 0);
    }
    result += u'"';
    result += field->name;
    result += u'"';
  };
  auto close_condition = [&]() {
    if (is_bare_value(field->vartype)) {
      if (ole_variant::is_binary(field->vartype)) TK_TRACE(1, "Special processing for binary");
      result += u'=';
      result += value;
      return;
    }
    decode_entities(value);
    result += u"='";
    // A quote or a backslash inside the value is escaped as in the value literals.
    for (char16_t c : value) {
      if (c == u'\'' || c == u'\\') result += u'\\';
      result += c;
    }
    result += u"' ";
  };

  for (char16_t c : key) {
    switch (at) {
      case state::text:
        if (c == u'<') {
          column.clear();
          at = state::name;
        }
        break;
      case state::name:
        if (c == u'>') {
          open_condition();
          value.clear();
          at = state::value;
        } else {
          column += c;
        }
        break;
      case state::value:
        if (c == u'<') {
          close_condition();
          at = state::closing;
        } else {
          value += c;
        }
        break;
      case state::closing:
        if (c == u'>') at = state::text;
        break;
    }
  }
  // A value left open at the end of the text still makes its condition.
  if (at == state::value) close_condition();
  return result;
}

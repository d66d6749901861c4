#include "udb_db_mutator.h"

#include <limits>
#include <set>
#include <utility>
#include <vector>

#include "tk_logger.h"
#include "udb_profile.h"
#include "udb_record.h"

namespace {

constexpr std::u16string_view mappings_section = u"Type Mappings";

constexpr std::u16string_view kw_database = u"database:";
constexpr std::u16string_view kw_tables = u"tables:";
constexpr std::u16string_view kw_table = u"  - name:";
constexpr std::u16string_view kw_table_new_name = u"    new_name:";
constexpr std::u16string_view kw_fields = u"    fields:";
constexpr std::u16string_view kw_properties = u"    properties:";
constexpr std::u16string_view kw_field = u"      - name:";
constexpr std::u16string_view kw_field_new_name = u"        new_name:";
constexpr std::u16string_view kw_status = u"        status:";
constexpr std::u16string_view kw_type = u"        type:";
constexpr std::u16string_view kw_default_value = u"        default_value:";
constexpr std::u16string_view kw_character_set = u"        character_set:";
constexpr std::u16string_view kw_length = u"        length:";
constexpr std::u16string_view kw_scale = u"        scale:";
constexpr std::u16string_view kw_precision = u"        precision:";
constexpr std::u16string_view database_indent = u"  ";
constexpr std::u16string_view property_indent = u"        ";

bool is_blank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r'; }

std::u16string_view trim_blanks(std::u16string_view text) {
  size_t begin = 0, end = text.size();
  while (begin < end && is_blank(text[begin])) ++begin;
  while (end > begin && is_blank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

// The line without trailing blanks: indentation stays significant, but
// blanks after a whole-line keyword are not worth failing a load for.
std::u16string_view trim_end(std::u16string_view text) {
  size_t end = text.size();
  while (end > 0 && is_blank(text[end - 1])) --end;
  return text.substr(0, end);
}

bool starts_with(std::u16string_view line, std::u16string_view keyword) {
  return line.substr(0, keyword.size()) == keyword;
}

std::u16string value_after(std::u16string_view line, std::u16string_view keyword) {
  return std::u16string(trim_blanks(line.substr(keyword.size())));
}

// The leading decimal digits of the value; 0 when there are none, the
// largest 32-bit number when they do not fit.
uint32_t leading_number(std::u16string_view value) {
  uint64_t n = 0;
  for (char16_t c : value) {
    if (c < u'0' || c > u'9') break;
    n = n * 10 + static_cast<uint64_t>(c - u'0');
    if (n > std::numeric_limits<uint32_t>::max()) return std::numeric_limits<uint32_t>::max();
  }
  return static_cast<uint32_t>(n);
}

// "key: value" with exactly one colon: the trimmed key and value.
bool split_property(std::u16string_view line, std::u16string& key, std::u16string& value) {
  const size_t colon = line.find(u':');
  if (colon == std::u16string_view::npos || line.find(u':', colon + 1) != std::u16string_view::npos) return false;
  key = trim_blanks(line.substr(0, colon));
  value = trim_blanks(line.substr(colon + 1));
  return true;
}

struct parsed_field {
  std::u16string name;
  std::u16string new_name;
  udb_field_mapping mapping;
};

struct parsed_table {
  std::u16string name;
  std::u16string new_name;
  std::vector<std::pair<std::u16string, std::u16string>> properties;
  std::vector<parsed_field> fields;
  std::set<std::u16string> deleted;
};

// Where the reader stands inside the table list. The properties come last
// in a table: once they start, only property lines and a next table follow.
enum class level { no_table, table, table_new_name, fields, field, field_keys, properties };

// Reads the table list (the lines after "tables:"). False on a line that has
// no place where it stands.
bool parse_tables(std::span<const std::u16string> lines, std::vector<parsed_table>& tables) {
  level at = level::no_table;
  parsed_field* field = nullptr;
  for (const std::u16string& text : lines) {
    const std::u16string_view line = text;
    TK_TRACE(1, "Processing '%s'", line);
    if (trim_blanks(line).empty()) continue;

    if (starts_with(line, kw_table)) {
      tables.push_back(parsed_table{value_after(line, kw_table), {}, {}, {}, {}});
      field = nullptr;
      at = level::table;
      continue;
    }
    if (at == level::no_table) return false;
    parsed_table& table = tables.back();

    if (at == level::properties) {
      if (!starts_with(line, property_indent)) return false;
      std::u16string key, value;
      if (split_property(line, key, value)) table.properties.emplace_back(std::move(key), std::move(value));
      continue;
    }
    if (starts_with(line, kw_properties)) {
      at = level::properties;
      continue;
    }
    if (starts_with(line, kw_table_new_name)) {
      if (at != level::table) return false;
      table.new_name = value_after(line, kw_table_new_name);
      TK_TRACE(1, "tm_new_table_name=%s", table.new_name);
      at = level::table_new_name;
      continue;
    }
    if (starts_with(line, kw_fields)) {
      if (at == level::fields) return false;
      field = nullptr;
      at = level::fields;
      continue;
    }
    if (starts_with(line, kw_field)) {
      if (at != level::fields && at != level::field && at != level::field_keys) return false;
      table.fields.push_back(parsed_field{value_after(line, kw_field), {}, {}});
      field = &table.fields.back();
      at = level::field;
      continue;
    }
    if (at != level::field && at != level::field_keys) return false;
    udb_field_mapping& m = field->mapping;
    if (starts_with(line, kw_field_new_name)) {
      field->new_name = value_after(line, kw_field_new_name);
    } else if (starts_with(line, kw_status)) {
      if (value_after(line, kw_status) == u"deleted") table.deleted.insert(field->name);
    } else if (starts_with(line, kw_type)) {
      m.type = value_after(line, kw_type);
    } else if (starts_with(line, kw_default_value)) {
      m.default_value = value_after(line, kw_default_value);
    } else if (starts_with(line, kw_character_set)) {
      m.character_set = value_after(line, kw_character_set);
    } else if (starts_with(line, kw_length)) {
      m.length = leading_number(value_after(line, kw_length));
    } else if (starts_with(line, kw_scale)) {
      m.scale = leading_number(value_after(line, kw_scale));
    } else if (starts_with(line, kw_precision)) {
      m.precision = leading_number(value_after(line, kw_precision));
    } else {
      return false;
    }
    at = level::field_keys;
  }
  return true;
}

}  // namespace

udb_db_mutator::udb_db_mutator() = default;
udb_db_mutator::~udb_db_mutator() = default;

std::unique_ptr<udb_table_mutator> udb_db_mutator::create_table_mutator(std::u16string source_name) const {
  return std::make_unique<udb_table_mutator>(std::move(source_name));
}

void udb_db_mutator::clear_mutators() {
  tables_.clear();
  properties_.clear();
  has_last_ = false;
  last_mutator_ = nullptr;
  last_table_.clear();
}

bool udb_db_mutator::load(const udb_profile& profile) { return load_mappings(profile.get_lines(mappings_section)); }

bool udb_db_mutator::load_mappings(std::span<const std::u16string> lines) {
  TK_TRACE(2, "udb_db_mutator::load");
  clear_mutators();
  size_t next = 0;
  if (next < lines.size() && trim_end(lines[next]) == kw_database) {
    for (++next; next < lines.size() && starts_with(lines[next], database_indent); ++next) {
      std::u16string key, value;
      if (!trim_blanks(lines[next]).empty() && split_property(lines[next], key, value))
        set_property(std::move(key), std::move(value));
    }
  }
  if (next == lines.size()) return true;
  if (trim_end(lines[next]) != kw_tables) {
    TK_TRACE(1, "Skipping %s", lines[next]);
    return true;
  }

  std::vector<parsed_table> tables;
  if (!parse_tables(lines.subspan(next + 1), tables)) {
    TK_TRACE(3, "Type mappings: line out of place after table '%s'", tables.empty() ? u"" : tables.back().name);
    clear_mutators();
    return false;
  }

  for (parsed_table& parsed : tables) {
    auto it = tables_.find(parsed.name);
    if (it == tables_.end()) it = tables_.emplace(parsed.name, create_table_mutator(parsed.name)).first;
    udb_table_mutator& table = *it->second;
    if (!parsed.new_name.empty()) table.set_new_name(parsed.new_name);
    for (auto& [key, value] : parsed.properties) table.set_property(std::move(key), std::move(value));
    for (const parsed_field& f : parsed.fields) {
      udb_field_mutator& field = table.update_field(f.name, f.new_name.empty() ? f.name : f.new_name, f.mapping);
      if (parsed.deleted.count(f.name)) field.set_status(udb_field_mutator::status::deleted);
    }
  }
  return true;
}

udb_table_mutator* udb_db_mutator::find_table_mutator(std::u16string_view source_table) {
  auto it = tables_.find(source_table);
  return it == tables_.end() ? nullptr : it->second.get();
}

const udb_table_mutator* udb_db_mutator::find_table_mutator(std::u16string_view source_table) const {
  auto it = tables_.find(source_table);
  return it == tables_.end() ? nullptr : it->second.get();
}

std::u16string udb_db_mutator::modify1(std::u16string_view table, udb_schema& schema, udb_indexes& indexes) {
  TK_TRACE(2, "udb_db_mutator::modify1(%s)", table);
  const udb_table_mutator* m = find_table_mutator(table);
  if (!m) return std::u16string(table);
  m->modify3(indexes);
  m->modify1(schema);
  std::u16string new_name = m->new_name().empty() ? std::u16string(table) : m->new_name();
  TK_TRACE(1, "returning new_name=%s", new_name);
  return new_name;
}

const udb_record& udb_db_mutator::modify2(std::u16string_view table, const udb_record& record) {
  TK_TRACE(2, "udb_db_mutator::modify2(%s)", table);
  if (!has_last_ || last_table_ != table) {
    last_table_.assign(table);
    last_mutator_ = find_table_mutator(table);
    has_last_ = true;
  }
  if (!last_mutator_ || !last_mutator_->has_field_mutators()) {
    TK_TRACE(2, "Not found: '%s'", table);
    return record;
  }
  return last_mutator_->modify2(record);
}

const udb_properties* udb_db_mutator::get_table_properties(std::u16string_view table) const {
  const udb_table_mutator* found = find_table_mutator(table);
  if (!found) {
    for (const auto& [name, m] : tables_) {
      if (!m->new_name().empty() && m->new_name() == table) {
        found = m.get();
        break;
      }
    }
  }
  return found && !found->properties().empty() ? found : nullptr;
}

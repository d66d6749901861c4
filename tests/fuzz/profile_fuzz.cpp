// Fuzz target: arbitrary bytes read as a profile, and the same bytes read
// line by line as a "Type Mappings" section, then the mappings applied to a
// table whose columns carry the names the mappings mention.
// Invariants:
// - every bare line kept by the profile is non-blank and holds no "=";
//   every entry's key answers its own value, and keys are unique;
// - a failed mapping load keeps no rules;
// - every column rule is found by its source name;
// - the schema rewrite and the record rewrite of the same table give the
//   same column names in the same order (a dropped column leaves both).
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "t_ftd.h"
#include "tk_unicode.h"
#include "udb_db_mutator.h"
#include "udb_indexes.h"
#include "udb_profile.h"
#include "udb_record.h"
#include "udb_schema.h"

namespace {

void check_profile(const udb_profile& profile) {
  for (const auto& [name, section] : profile.sections()) {
    for (const std::u16string& line : section.lines) {
      check(line.find_first_not_of(u" \t\r") != std::u16string::npos);
      check(line.find(u'=') == std::u16string::npos);
    }
    std::set<std::u16string> keys;
    for (const auto& [key, value] : section.entries) {
      check(keys.insert(key).second);
      check(profile.get_value(name, key) == value);
    }
  }
}

void check_rewrites(udb_db_mutator& db) {
  for (const auto& [table_name, table] : db.table_mutators()) {
    udb_schema schema;
    udb_record record;
    udb_indexes indexes;
    udb_index all(u"all", false, false);
    for (const auto& [source, field] : table->field_mutators()) {
      check(table->find_field(source) == field.get());
      schema.push_back(t_ftd(10, source, VT_BSTR, false, false, ole_variant(), 0));
      record.add(source).set_text(u"1");
      all.fields.push_back(source);
    }
    schema.push_back(t_ftd(10, u"unlisted", VT_BSTR, false, false, ole_variant(), 0));
    record.add(u"unlisted").set_text(u"x");
    all.fields.push_back(u"unlisted");
    indexes.push_back(all);

    db.modify1(table_name, schema, indexes);
    const udb_record& out = db.modify2(table_name, record);
    check(out.size() == schema.size());
    for (size_t i = 0; i < out.size(); ++i) check(out[i].name() == schema.fields[i]->name);
    for (const udb_index& index : indexes) check(!index.fields.empty());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  udb_profile profile;
  profile.parse(bytes);
  check_profile(profile);
  udb_db_mutator from_profile;
  if (from_profile.load(profile)) {
    check_rewrites(from_profile);
  } else {
    check(from_profile.table_mutators().empty());
  }

  // The bytes as the section's lines themselves, so that the parser sees
  // every line the fuzzer writes.
  std::vector<std::u16string> lines;
  size_t start = 0;
  while (start <= bytes.size()) {
    size_t end = bytes.find('\n', start);
    if (end == std::string_view::npos) end = bytes.size();
    lines.emplace_back();
    if (!tk_append_utf16(lines.back(), bytes.substr(start, end - start))) lines.back() = std::u16string(1, u'\uFFFD');
    start = end + 1;
  }
  udb_db_mutator db;
  if (db.load_mappings(lines)) {
    check_rewrites(db);
  } else {
    check(db.table_mutators().empty());
  }
  return 0;
}

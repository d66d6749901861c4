#include "sql_destination.h"

#include <unistd.h>

#include <string>

#include "sql_exception.h"
#include "tk_logger.h"
#include "tk_wstring.h"
#include "udb_properties.h"

sql_destination::sql_destination(std::u16string name, uint32_t mode, const sql_dialect& dialect,
                                 create_settings settings)
    : udb_database(std::move(name), mode), dialect_(dialect), settings_(std::move(settings)) {}

std::u16string sql_destination::unused_table_name() const {
  const std::u16string base = u"gridload_tmp_" + tk_widen_ascii(std::to_string(::getpid())) + u"_";
  for (unsigned n = 0;; ++n) {
    std::u16string name = base + tk_widen_ascii(std::to_string(n));
    if (!is_table_exist(name, false)) return name;
  }
}

std::u16string sql_destination::foreign_key_referrer(const std::u16string&) const { return {}; }

void sql_destination::check_replaceable(const std::u16string& table) const {
  const std::u16string referrer = foreign_key_referrer(listed_name(table));
  if (referrer.empty()) return;
  throw tk_exception(u"Cannot replace table '" + table + u"': a foreign key of table '" + referrer +
                         u"' refers to it; the table is kept as it was",
                     0);
}

void sql_destination::replace_table(const std::u16string& name, const std::u16string& replacement) {
  TK_TRACE(2, "sql_destination::replace_table(%s, %s)", name, replacement);
  // The table of the name in another letter case is the one replaced (the
  // one rows would be added to), and the replacement takes its name.
  const std::u16string table = listed_name(name);
  const std::u16string parked = unused_table_name();
  const std::pair<std::u16string, std::u16string> renames[] = {{table, parked}, {replacement, table}};
  execute(dialect_.rename_tables(renames));
  remove_table_name(replacement);
  add_table_name(parked);
  if (!live()) return delete_tab(parked);
  // A foreign key that the account cannot see followed the old table when
  // it was renamed: with the checks on, the server refuses to drop a table
  // one refers to, and both tables go back to their names.
  execute(dialect_.foreign_key_checks(true));
  try {
    delete_tab(parked);
  } catch (const sql_exception& e) {
    execute(dialect_.foreign_key_checks(false));
    if (e.error_number() != row_is_referenced_error) throw;
    const std::pair<std::u16string, std::u16string> back[] = {{table, replacement}, {parked, table}};
    execute(dialect_.rename_tables(back));
    remove_table_name(parked);
    add_table_name(replacement);
    throw tk_exception(u"Cannot replace table '" + table +
                           u"': a foreign key of another table refers to it; the table is kept as it was",
                       0);
  }
  execute(dialect_.foreign_key_checks(false));
}

void sql_destination::table_options(std::u16string_view table, std::u16string& char_set, std::u16string& engine) const {
  char_set.clear();
  engine.clear();
  if (!settings_.properties) return;
  if (const udb_properties* properties = settings_.properties->get_table_properties(table)) {
    char_set = properties->get_property(u"character set");
    engine = properties->get_property(u"engine");
  }
}

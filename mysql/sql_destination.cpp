#include "sql_destination.h"

#include "udb_properties.h"

sql_destination::sql_destination(std::u16string name, uint32_t mode, const sql_dialect& dialect,
                                 create_settings settings)
    : udb_database(std::move(name), mode), dialect_(dialect), settings_(std::move(settings)) {}

void sql_destination::table_options(std::u16string_view table, std::u16string& char_set, std::u16string& engine) const {
  char_set.clear();
  engine.clear();
  if (!settings_.properties) return;
  if (const udb_properties* properties = settings_.properties->get_table_properties(table)) {
    char_set = properties->get_property(u"character set");
    engine = properties->get_property(u"engine");
  }
}

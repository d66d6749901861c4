#include "dao_database.h"

#include <limits>

#include "dao_exception.h"
#include "dao_recordset.h"
#include "tk_logger.h"
#include "wb_database.h"
#include "wb_ole_date.h"
#include "wb_query_def.h"
#include "wb_recordset.h"
#include "wb_sheet_schema.h"

dao_database::table_kind dao_database::classify(uint32_t attributes) noexcept {
  if (attributes & attr_linked) return table_kind::linked;
  if (attributes & attr_system) return table_kind::system;
  return table_kind::user;
}

dao_database::dao_database(std::u16string name, ole_com_ptr<wb_database> database, uint32_t mode)
    : udb_database(std::move(name), mode), database_(std::move(database)) {
  TK_TRACE(2, "dao_database::dao_database( %s, mode=%d )", name_, mode_);
  const std::size_t count = database_->table_count();
  wb_table_def def;
  for (std::size_t i = 0; i < count; ++i) {
    if (wb_failed(database_->table(i, def))) throw dao_exception(&database_->errors());
    switch (classify(static_cast<uint32_t>(def.attributes))) {
      case table_kind::linked:
        TK_TRACE(1, "Skip linked table '%s'", def.name);
        break;
      case table_kind::system:
        TK_TRACE(1, "Skip system table '%s'", def.name);
        break;
      case table_kind::user:
        TK_TRACE(1, "Got table: '%s'", def.name);
        add_table_name(def.name);
        break;
    }
  }
}

dao_database::~dao_database() { TK_TRACE(2, "dao_database::~dao_database"); }

std::unique_ptr<udb_recordset> dao_database::get_table(const std::u16string& name, uint32_t options) {
  TK_TRACE(2, "dao_database::get_table(%s, %d)", name, options);
  return get_table_ahead(name, 0);
}

std::unique_ptr<dao_recordset> dao_database::get_table_ahead(const std::u16string& name, std::size_t first_rows) {
  if (!is_table_exist(name, true)) {
    TK_TRACE(3, "Table '%s' does not exists", name);
    throw tk_mail_assertion("dao_db", 298);
  }
  std::u16string sql = u"SELECT * FROM [";
  sql += name;
  sql += u']';
  wb_table_def def;
  if (wb_failed(database_->table(name, def))) throw dao_exception(&database_->errors());
  ole_com_ptr<wb_query_def> query;
  if (wb_failed(database_->create_query_def(u"", sql, query.receive()))) throw dao_exception(&database_->errors());
  ole_com_ptr<wb_recordset> rows;
  if (wb_failed(query->open_recordset(rows.receive(), first_rows))) throw dao_exception(&database_->errors());
  return std::make_unique<dao_recordset>(this, name, std::move(rows), std::move(def));
}

double dao_database::date_of_serial(double serial) const {
  // A number stored as a date counts from the system's first day: under 1
  // it is a time of the 1904 system's day 0 (1904-01-01), and of no day in
  // the 1900 system, which begins with day 1 (1900-01-01).
  const bool date1904 = database_->date1904();
  if (!date1904 && serial < 1) return std::numeric_limits<double>::quiet_NaN();
  return wb_serial_to_ole(serial, date1904, true);
}

void dao_database::set_reading_observer(std::function<void(uint64_t rows)> observer) {
  if (!observer) return wb_sheet_schema::set_row_observer(nullptr);
  wb_sheet_schema::set_row_observer([observer = std::move(observer)](std::uint32_t row) { observer(row); });
}

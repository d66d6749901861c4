#pragma once
// An open workbook as a source database: its table list (the worksheets,
// in the engine's order, linked and system tables left out) and the
// read-only recordset of each table.
//
// Ownership: owns the engine's database object. Recordsets returned by
// get_table belong to the caller and keep a non-owning pointer back to this
// database, which must outlive them.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "ole_com_ptr.h"
#include "udb_database.h"

class dao_recordset;
class wb_database;

class dao_database : public udb_database {
 public:
  // Table attribute bits that keep a table out of the list.
  static constexpr uint32_t attr_linked = 0x40000000;
  static constexpr uint32_t attr_system = 0x80000002;
  enum class table_kind { user, linked, system };
  static table_kind classify(uint32_t attributes) noexcept;

  // Reads the table collection of `database`. `mode`: the open-mode bits
  // of dao_engine::open_dao_src.
  dao_database(std::u16string name, ole_com_ptr<wb_database> database, uint32_t mode);
  ~dao_database() override;

  // The rows of table `name` (as listed) through the query
  // "SELECT * FROM [name]", positioned on the first row. `options` bit 0
  // asks for a read-only recordset (the only kind the workbook engine
  // offers). A name that is not in the list is an internal error; a
  // failure of the engine raises dao_exception.
  std::unique_ptr<udb_recordset> get_table(const std::u16string& name, uint32_t options) override;
  // The same, with the worksheet's first pass read ahead past `first_rows`
  // data rows: the rows may come before their types are settled
  // (dao_recordset::provisional).
  std::unique_ptr<dao_recordset> get_table_ahead(const std::u16string& name, std::size_t first_rows);
  // Told the rows read so far, now and then, while get_table reads a
  // worksheet for its column types; an empty one is not told.
  static void set_reading_observer(std::function<void(uint64_t rows)> observer);
  // The OLE date number of a date serial of the workbook's own date system;
  // NaN for a number before the system's first day.
  double date_of_serial(double serial) const;

 private:
  ole_com_ptr<wb_database> database_;
};

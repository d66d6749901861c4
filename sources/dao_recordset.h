#pragma once
// The rows of one worksheet table, read forward through the engine's
// recordset. The schema is built once from the engine's fields (names,
// declared sizes, variant types, the date kind in each descriptor's
// reserved word); get_record hands out the current row.
//
// Ownership: owns the engine's recordset and the record it hands out. The
// record is refilled in place by the next get_record and is valid until the
// recordset moves or is destroyed. The database passed in is not owned and
// must outlive the recordset.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "dao_record.h"
#include "ole_com_ptr.h"
#include "udb_recordset.h"
#include "wb_table_def.h"

class dao_database;
class wb_recordset;

// Reserved-word values of a date column's descriptor (the date kind).
namespace dao_date_kind {
inline constexpr uint32_t none = 0;       // not a date column
inline constexpr uint32_t date_time = 1;  // date and time of day
inline constexpr uint32_t date = 2;       // "Short Date", "Medium Date", "Long Date"
inline constexpr uint32_t time = 3;       // "Short Time", "Medium Time", "Long Time"
}  // namespace dao_date_kind

namespace dao_detail {
// What a descriptor takes from a field's DAO type, declared size and
// "Format" property.
struct column_kind {
  VARTYPE vartype = VT_EMPTY;
  uint32_t size = 0;
  uint32_t reserved = 0;
};
column_kind classify_column(int16_t dao_type, int32_t size, std::u16string_view format);
}  // namespace dao_detail

class dao_recordset : public udb_recordset {
 public:
  // `rows` is positioned on its first row (or at the end for an empty
  // table); `table` is the definition it was opened from.
  dao_recordset(dao_database* database, const std::u16string& name, ole_com_ptr<wb_recordset> rows, wb_table_def table);
  ~dao_recordset() override;

  // The current row; calling it at the end is an internal error.
  udb_record* get_record() override;
  // The end-of-data flag as last read.
  bool is_eof() override;
  void move_next() override;
  // Moves back unless at the beginning; the workbook engine reads forward
  // only and refuses with DAO 3251, raised as dao_exception.
  void move_prev() override;
  // Back to the first row (a table without rows stays as it is).
  void reset() override;

  // The number of rows the engine counted when it opened the table.
  long record_count() const noexcept { return record_count_; }
  // Whether the worksheet holds values below its last row, which are not
  // among the records.
  bool rows_past_limit() const;
  // Whether the worksheet holds any value at all (a header included).
  bool holds_values() const;
  // The values out of order (in a row above one already read, or given
  // twice for one cell) that are not among the records.
  uint64_t cells_out_of_order() const;
  // The values of the worksheet that are no value of their cell's kind,
  // which read as empty (wb_sheet_source::unreadable_values).
  uint64_t unreadable_values() const;
  // Formula cells without a calculated result
  // (wb_sheet_source::uncalculated_formulas).
  uint64_t uncalculated_formulas() const;
  // Cells that hold an error value (wb_sheet_schema::error_values).
  uint64_t error_values() const;
  const wb_table_def& table_def() const noexcept { return table_def_; }

  // Rows read ahead (dao_database::get_table_ahead): they come in the types
  // of the worksheet's first provisional_rows() rows while its first pass
  // goes on.
  bool provisional() const;
  long provisional_rows() const;
  // Whether the rows read so far still have the types of the first rows.
  bool provisional_holds() const;
  // For provisional rows read to their end: waits for the first pass, and
  // tells whether they were the rows get_table gives. Raises dao_exception
  // when the pass failed, as get_table would have.
  bool settle();
  // After settle() said no: the rows get_table gives, on the first one.
  // This recordset is not usable afterwards.
  std::unique_ptr<dao_recordset> reopen_whole();

 private:
  void init_schema();
  void read_eof();
  // Before the engine moves: long values of the current record go.
  void release_long_values();
  [[noreturn]] void fail() const;

  dao_database* database_;
  ole_com_ptr<wb_recordset> rows_;
  wb_table_def table_def_;
  long record_count_ = 0;
  bool eof_ = true;
  std::unique_ptr<dao_record> record_;
};

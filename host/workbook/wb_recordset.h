// A forward-only, read-only recordset over one worksheet.
//
// Opening it makes the first pass over the sheet (used range, names,
// types, record count) and positions on the first record; moving forward
// streams the second pass. move_first() restarts that stream (it reopens
// the sheet) and is allowed; move_previous() is not supported on the stream
// and fails with DAO error 3251.
#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "wb_ahead_source.h"
#include "wb_error_list.h"
#include "wb_field.h"
#include "wb_row_reader.h"
#include "wb_sheet_ahead.h"
#include "wb_sheet_schema.h"
#include "wb_status.h"
#include "wb_workbook_source.h"

class wb_recordset {
 public:
  ~wb_recordset();
  wb_recordset(const wb_recordset&) = delete;
  wb_recordset& operator=(const wb_recordset&) = delete;

  // Opens worksheet `sheet` of `workbook`. Failures go to `errors` and
  // come back as the HRESULT of the DAO error (3274, 3161).
  static wb_hresult open(std::shared_ptr<wb_workbook_source> workbook, std::size_t sheet, bool header_row,
                         wb_error_list_ptr errors, std::unique_ptr<wb_recordset>& out);
  // Opens it with its first pass read on a thread of its own
  // (wb_sheet_ahead) when the sheet has more than `first_rows` data rows:
  // the recordset then gives rows at once, in the types of its first
  // `first_rows` rows (provisional()), while the pass goes on. Read to its
  // end, settle() tells whether they were the rows open() gives; when they
  // were not, reopen_whole() gives those. A smaller sheet, one when no
  // thread can be started, and any with `first_rows` 0 are opened as open()
  // opens them.
  static wb_hresult open_ahead(std::shared_ptr<wb_workbook_source> workbook, std::size_t sheet, bool header_row,
                               wb_error_list_ptr errors, std::size_t first_rows, std::unique_ptr<wb_recordset>& out);

  // Whether the rows come in the types of the first rows (open_ahead).
  bool provisional() const { return ahead_ != nullptr; }
  // The data rows the types were decided from, when provisional().
  std::size_t provisional_rows() const { return provisional_rows_; }
  // Whether the cells read so far still give the columns of the first rows
  // (once they do not, the whole sheet does not either).
  bool provisional_holds() const;
  // Waits for the first pass of a provisional recordset. `same` is set when
  // the rows read (to the end) are those open() gives: the same columns
  // (names, types, formats), the same rows, no text cut. The DAO error of
  // a pass that failed (what open() would have failed with).
  wb_hresult settle(bool& same);
  // After settle(): the recordset as open() opens it, read from the first
  // pass's record. This recordset is not usable afterwards.
  wb_hresult reopen_whole(std::unique_ptr<wb_recordset>& out);

  bool bof() const { return bof_; }
  bool eof() const { return eof_; }

  // Restarts at the first record; 3021 when there is none.
  wb_hresult move_first();
  // Moves to the next record; past the last one EOF becomes true. 3021
  // when already at EOF; 3274 when the sheet turns out to be corrupt.
  wb_hresult move_next();
  // Not supported on a forward-only stream: 3251.
  wb_hresult move_previous();

  // The number of data rows, known after the first pass.
  long record_count() const { return static_cast<long>(schema_.row_count()); }
  // Whether the worksheet holds values below its last row (1,048,576),
  // which the recordset leaves out; known after the first pass.
  bool rows_past_limit() const { return schema_.rows_past_limit(); }
  // The values out of order the recordset leaves out (wb_sheet_schema).
  std::uint64_t cells_out_of_order() const { return schema_.cells_out_of_order(); }
  std::uint64_t unreadable_values() const { return schema_.unreadable_values(); }
  std::uint64_t uncalculated_formulas() const { return schema_.uncalculated_formulas(); }
  std::uint64_t error_values() const { return schema_.error_values(); }
  // Whether the sheet holds any value (one read ahead has more rows than
  // its first ones).
  bool holds_values() const { return provisional() || schema_.holds_values(); }

  std::size_t field_count() const { return fields_.size(); }
  // The field at `index` (0-based); throws std::out_of_range past the end.
  const wb_field& field(std::size_t index) const { return fields_.at(index); }
  // The index of the field named `name` (ignoring case), or -1.
  long field_index(std::u16string_view name) const;

  const wb_error_list& errors() const { return *errors_; }

 private:
  wb_recordset() = default;
  // Builds the fields and the row reader over `source` and moves to the
  // first row.
  static wb_hresult finish_open(std::unique_ptr<wb_recordset> rs, wb_sheet_source& source, bool open_ended,
                                std::unique_ptr<wb_recordset>& out);

  // Declared first so that it is destroyed last: the sheet source points
  // into the workbook source.
  std::shared_ptr<wb_workbook_source> workbook_;
  wb_error_list_ptr errors_;
  std::unique_ptr<wb_sheet_source> sheet_;
  // Reading ahead: the first pass's thread (it reads sheet_ until settled)
  // and the source of the rows meanwhile.
  std::unique_ptr<wb_sheet_ahead> ahead_;
  std::unique_ptr<wb_ahead_source> ahead_source_;
  std::size_t provisional_rows_ = 0;
  wb_sheet_schema schema_;
  std::unique_ptr<wb_row_reader> rows_;
  std::vector<wb_field> fields_;
  bool bof_ = true;
  bool eof_ = true;
};

// The interface every workbook format backend implements for one worksheet.
//
// A sheet source delivers the worksheet's cells as a forward stream:
// - rows in ascending order; within a row the columns in any order (a cell
//   whose row is lower than one already delivered is dropped by the reader);
// - cells may be of kind `empty` (formatting only); the reader ignores them;
// - numbers come raw, in the workbook's date system, with the class of their
//   number format; the common layer converts dates (see wb_workbook_source::
//   date1904()).
// The source may be rewound to read the sheet again: the common layer makes a
// first pass for the used range and the column types and a second pass for
// the rows, so a backend should stream rather than load the sheet whole.
#pragma once

#include <cstddef>
#include <cstdint>

#include "wb_raw_cell.h"

class wb_sheet_source {
 public:
  virtual ~wb_sheet_source() = default;

  // Reads the next cell into `cell`. Returns false at the end of the sheet
  // or on failure; error() tells the two apart. The text view of a cell
  // with text_is_stable == false is valid until the next call.
  virtual bool next_cell(wb_raw_cell& cell) = 0;

  // Restarts the stream at the first cell. Returns false on failure.
  virtual bool rewind() = 0;

  // Asks for texts to be measured rather than delivered whole from the next
  // cell on: a text longer than `units` UTF-16 units may come cut to its
  // first `units` units, with wb_raw_cell::text_omitted telling how many
  // were left out. 0 (the default) delivers every text whole. The first
  // pass needs little more than lengths, and a text of a gigabyte should
  // not be held for that. A source whose texts are short anyway may ignore
  // it.
  virtual void set_text_limit(std::size_t units) { static_cast<void>(units); }

  // 0 while the stream is sound; otherwise the DAO error number describing
  // why it stopped (3274 for corrupt data, 3161 for encrypted data).
  virtual long error() const = 0;

  // Values the first reading met that are no value of their cell's kind (a
  // number cell that holds no number, a shared-text index past the table,
  // a boolean or date that cannot be read): such a cell reads as empty.
  virtual std::uint64_t unreadable_values() const { return 0; }
  // Formula cells the first reading met without a calculated result: no
  // result (read as empty), or, in a workbook that asks to be calculated
  // when opened, the place-holder 0 (read as it is).
  virtual std::uint64_t uncalculated_formulas() const { return 0; }
};

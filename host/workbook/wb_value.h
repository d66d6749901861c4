// One field value of the current record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// A text of at least this many UTF-16 units is long: it gets a buffer of
// its own, sized once, which moves from the sheet source to the recordset
// and on to the caller (wb_field::take_text) instead of being copied, and
// which is released once the record moves on. Shorter texts go through
// buffers reused from row to row, which stop allocating once grown.
inline constexpr std::size_t wb_long_text_units = 64 * 1024;

enum class wb_value_kind : std::uint8_t {
  null,
  number,    // number: IEEE double
  date,      // number: OLE date (days since 1899-12-30, fraction = time of day)
  currency,  // currency: amount scaled by 10,000 (the COM CY layout)
  text,      // text: UTF-16
  boolean,   // boolean
};

// A plain value without ownership. For text, `text` views memory owned by the
// recordset (a per-field buffer reused from row to row) or by the open
// workbook (the shared-strings arena). The view stays valid until the
// recordset moves to another record or is destroyed; copy it to keep it.
struct wb_value {
  wb_value_kind kind = wb_value_kind::null;
  // For text: the kind of the cell it shows (number or boolean) in a column
  // of mixed kinds, which holds each cell as its text, with the cell's value
  // in `number` (a boolean's as 1 or 0); text for a text cell.
  wb_value_kind shows = wb_value_kind::text;
  bool boolean = false;
  double number = 0.0;
  std::int64_t currency = 0;
  std::u16string_view text;

  bool is_null() const { return kind == wb_value_kind::null; }

  void set_null() {
    kind = wb_value_kind::null;
    text = {};
  }
  void set_number(double v) {
    kind = wb_value_kind::number;
    number = v;
  }
  void set_date(double ole) {
    kind = wb_value_kind::date;
    number = ole;
  }
  void set_currency(std::int64_t scaled) {
    kind = wb_value_kind::currency;
    currency = scaled;
  }
  void set_boolean(bool v) {
    kind = wb_value_kind::boolean;
    boolean = v;
  }
  void set_text(std::u16string_view v) {
    kind = wb_value_kind::text;
    shows = wb_value_kind::text;
    text = v;
  }
  // The text of a number or boolean cell, and its value.
  void set_shown(std::u16string_view v, wb_value_kind cell, double value) {
    set_text(v);
    shows = cell;
    number = value;
  }
};

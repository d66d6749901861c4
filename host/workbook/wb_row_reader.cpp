#include "wb_row_reader.h"

#include "wb_number_format.h"
#include "wb_ole_date.h"
#include "wb_value_text.h"

wb_row_reader::wb_row_reader(wb_sheet_source& source, const wb_sheet_schema& schema, bool open_ended)
    : source_(source),
      schema_(schema),
      open_ended_(open_ended),
      values_(schema.columns().size()),
      buffers_(schema.columns().size()) {
  for (auto& b : buffers_) b.reserve(wb_value_text_capacity);
}

bool wb_row_reader::restart() {
  next_row_ = 0;
  has_pending_ = false;
  source_done_ = false;
  any_seen_ = false;
  seen_in_row_.clear();
  error_ = 0;
  if (!source_.rewind()) {
    error_ = source_.error();
    return false;
  }
  return true;
}

void wb_row_reader::clear_values() {
  for (auto& v : values_) v.set_null();
  release_long_buffers();
}

void wb_row_reader::release_long_buffers() {
  if (!took_buffers_) return;  // copies stay below the long texts' size
  took_buffers_ = false;
  for (auto& b : buffers_)
    if (b.capacity() >= wb_long_text_units) std::u16string().swap(b);
}

bool wb_row_reader::next_row() {
  if (error_ != 0) return false;
  if (open_ended_ ? source_done_ && !has_pending_ : next_row_ >= schema_.row_count()) return false;
  clear_values();
  const std::uint32_t row = schema_.first_data_row() + next_row_;
  const std::uint32_t first_col = schema_.first_column();
  const std::size_t count = values_.size();
  for (;;) {
    if (!has_pending_) {
      if (source_done_ || !source_.next_cell(pending_)) {
        source_done_ = true;
        if (source_.error() != 0) {
          error_ = source_.error();
          return false;
        }
        break;
      }
      if (pending_.kind == wb_cell_kind::empty || pending_.column >= wb_max_columns || pending_.row >= wb_max_rows)
        continue;  // no value, or beyond the sheet's last row or column
      // Cells out of order are dropped, as the first pass did.
      if (wb_cell_out_of_order(pending_, any_seen_, last_row_seen_, seen_in_row_)) continue;
      any_seen_ = true;
      last_row_seen_ = pending_.row;
      has_pending_ = true;
    }
    if (pending_.row > row) break;  // belongs to a later row: keep it
    has_pending_ = false;
    if (pending_.row < row || pending_.column < first_col) continue;  // header row, or outside
    const std::size_t field = pending_.column - first_col;
    if (field < count) set_value(field, pending_);
  }
  ++next_row_;
  return true;
}

void wb_row_reader::set_value(std::size_t field, const wb_raw_cell& cell) {
  wb_value& v = values_[field];
  const wb_dao_type type = schema_.columns()[field].type;
  switch (cell.kind) {
    case wb_cell_kind::number: {
      const wb_number_class cls = wb_number_format::effective_class(cell.number_class, cell.number, schema_.date1904());
      switch (type) {
        case wb_dao_type::double_:
          v.set_number(cell.number);
          return;
        case wb_dao_type::date:
          // A duration has no date value past 24 hours: its column takes
          // the text H:MM:SS, which a TIME column reads as it stands.
          if (cls != wb_number_class::duration) {
            v.set_date(wb_serial_to_ole(cell.number, schema_.date1904(), cls != wb_number_class::time));
            return;
          }
          break;
        case wb_dao_type::currency:
          v.set_currency(wb_currency_from_double(cell.number));
          return;
        case wb_dao_type::text:
        case wb_dao_type::memo:
          break;
        default:
          return;
      }
      char16_t buf[wb_value_text_capacity];
      buffers_[field].assign(buf, wb_format_number_cell(cell.number, cls, schema_.date1904(), buf));
      // A plain number keeps its value beside its text; a date, time or
      // duration is the text it shows (2024-01-05, 36:00:00), which the
      // columns of those kinds read as it stands.
      if (type != wb_dao_type::date && !wb_is_date_class(cls) && cls != wb_number_class::duration)
        v.set_shown(buffers_[field], wb_value_kind::number, cell.number);
      else
        v.set_text(buffers_[field]);
      return;
    }
    case wb_cell_kind::text:
      if (type != wb_dao_type::text && type != wb_dao_type::memo) return;
      if (cell.text_is_stable) {
        v.set_text(cell.text);
      } else if (cell.text_buffer != nullptr) {
        buffers_[field].swap(*cell.text_buffer);
        took_buffers_ = true;
        v.set_text(buffers_[field]);
      } else {
        // The source reuses its buffer on the next cell: keep a copy.
        buffers_[field].assign(cell.text);
        v.set_text(buffers_[field]);
      }
      return;
    case wb_cell_kind::boolean:
      if (type == wb_dao_type::boolean)
        v.set_boolean(cell.number != 0);
      else if (type == wb_dao_type::text || type == wb_dao_type::memo)
        v.set_shown(cell.number != 0 ? wb_true_text : wb_false_text, wb_value_kind::boolean, cell.number != 0 ? 1 : 0);
      return;
    default:
      return;
  }
}

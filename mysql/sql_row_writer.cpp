#include "sql_row_writer.h"

#include "error_handler.h"
#include "sql_row_error_sink.h"
#include "tk_exception.h"
#include "tk_logger.h"

void sql_row_writer::commit_rows(uint64_t stored, uint64_t held) {
  if (held != 0) TK_TRACE(3, "%d rows of table '%s' passed over: their key is held", held, table_);
  if (sink_) sink_->rows_committed(stored, held);
}

void sql_row_writer::refuse_row(uint64_t row_number, const tk_exception& e) {
  TK_TRACE(3, "Row %d of table '%s' refused: %s", row_number, table_, e.message());
  if (sink_) {
    sink_->refused_row(row_number, e);
  } else if (error_handler* handler = error_handler::instance_ptr()) {
    handler->set_context(table_, static_cast<long>(row_number));
    handler->handle(e);
  }
}

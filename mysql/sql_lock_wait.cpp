#include "sql_lock_wait.h"

#include "sql_dialect.h"
#include "sql_exception.h"
#include "tk_interrupt.h"
#include "tk_logger.h"

void sql_lock_wait::run(std::string_view sql, const executor& execute) const {
  if (seconds_ <= 1) return execute(sql);
  execute(dialect_->set_lock_wait_timeout(1));
  try {
    for (uint64_t waited = 1;; ++waited) {
      try {
        execute(sql);
        break;
      } catch (const sql_exception& e) {
        if (e.error_number() != lock_wait_timeout_error || waited >= seconds_) throw;
        TK_TRACE(3, "Waiting for a lock another session holds (%d s)", waited);
      }
      tk_interrupt::check();
    }
  } catch (...) {
    try {
      execute(dialect_->set_lock_wait_timeout(seconds_));
    } catch (const sql_exception&) {
      // The session is lost with the statement's failure, which tells why.
    }
    throw;
  }
  execute(dialect_->set_lock_wait_timeout(seconds_));
}

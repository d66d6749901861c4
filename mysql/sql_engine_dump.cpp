// The engine's dump-file side: opening a dump file as a destination database.

#include "sql_engine.h"
#include "tk_exception.h"
#include "tk_logger.h"

std::unique_ptr<udb_database> sql_engine::create_dump(const std::u16string& path, const dump_options&) {
  TK_TRACE(2, "sql_engine::create_dump (%s)", path);
  throw tk_exception("Writing dump files is not available in this build.", 1);
}

#include "udb_index.h"

#include "tk_logger.h"

udb_index::udb_index(std::u16string index_name, bool unique, bool primary)
    : name(std::move(index_name)), b_unique(unique), b_primary(primary) {
  TK_TRACE(1, "udb_index::ctor('%s',%d,%d)", name, unique, primary);
}

#include "types_map.h"

#include "tk_logger.h"

types_map::types_map(std::u16string table) : table_(std::move(table)) { TK_TRACE(2, "types_map::ctor(%s)", table_); }

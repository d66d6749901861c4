#include "ole_cast_exception.h"

#include "tk_logger.h"

ole_cast_exception::ole_cast_exception() : tk_exception("Cannot cast from source type to destination type", 0) {
  TK_TRACE(2, "ole_cast_exception::ctor");
}

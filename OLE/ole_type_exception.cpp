#include "ole_type_exception.h"

#include "tk_logger.h"

ole_type_exception::ole_type_exception() : tk_exception("The operating type is not supported yet", 0) {
  TK_TRACE(2, "ole_type_exception::ctor");
}

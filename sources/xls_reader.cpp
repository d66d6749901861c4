#include "xls_reader.h"

#include "tk_exception.h"
#include "tk_logger.h"

bool xls_reader::get_all_sheets(std::vector<std::u16string>& sheets) {
  TK_TRACE(2, "xls_reader::get_all_sheets");
  sheets.clear();
  throw tk_exception("Reading MS Excel workbooks is not available in this build.", 1);
}

void xls_reader::set_sel_sheets1(const std::vector<std::u16string>& names) {
  TK_TRACE(2, "xls_reader::set_sel_sheets1(%d)", names.size());
}

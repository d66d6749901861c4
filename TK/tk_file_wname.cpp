#include "tk_file_wname.h"

#include "tk_file_name.h"
#include "tk_logger.h"
#include "tk_unicode.h"

tk_file_wname::tk_file_wname(const std::u16string& path) {
  TK_TRACE(1, "tk_file_wname::initialize(%s)", path);
  tk_file_name parts(tk_unicode_to_ansi(path));
  drive_ = tk_ansi_to_unicode(parts.drive());
  folder_ = tk_ansi_to_unicode(parts.folder());
  name_ = tk_ansi_to_unicode(parts.name());
  ext_ = tk_ansi_to_unicode(parts.ext());
}

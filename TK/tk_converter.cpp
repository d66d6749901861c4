#include "tk_converter.h"

#include "tk_exception.h"
#include "tk_file_name.h"
#include "tk_logger.h"
#include "tk_path.h"

void tk_converter::set_logfile(const std::string& path) {
  TK_TRACE(1, "tk_convertor::set_logfile(%s)", path);
  tk_logger* logger = tk_logger::instance_ptr();
  if (!logger) return;
  logfile_ = path;
  if (path.empty()) {
    TK_TRACE(1, "Filename is empty");
    return;
  }
  if (tk_is_folder(path)) throw tk_exception("Logfile name specifies an existing path.", 1);
  if (tk_is_file_exist(path, tk_file_exists) && !tk_is_file_exist(path, tk_file_writable))
    throw tk_exception("Logfile name specifies an existing read-only file.", 1);
  tk_file_name parts(path);
  std::string folder = parts.drive() + parts.folder();
  if (!tk_is_path_exist(folder))
    throw tk_exception("Logfile path does not exist.\nPlease verify the correct path was given.", 1);
  if (!tk_check_access(folder, tk_generic_write))
    throw tk_exception(
        "Cannot create log file. Make sure you have sufficient\nprivileges to create files in the directory.", 1);
  logger->set_file_name(path);
  logger->enable(true);
}

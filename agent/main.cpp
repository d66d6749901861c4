// The entry point: builds the trace log, the error handler and the driver,
// parses the command line, connects, prepares the destination and converts.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "cmd_line.h"
#include "dao_required_exception.h"
#include "error_handler.h"
#include "error_tables.h"
#include "tk_exception_ex.h"
#include "tk_interrupt.h"
#include "tk_logger.h"
#include "tk_unicode.h"
#include "xls2sql_converter.h"

int main(int argc, char** argv) {
  // A standard stream the caller closed is held by /dev/null opened for
  // reading, so that no file the run opens takes its place (the messages
  // would land in it) and writing the messages fails, as it should.
  for (int fd = 0; fd <= 2; ++fd)
    if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF && ::open("/dev/null", O_RDONLY | O_CLOEXEC) != fd) return -1;
  std::setlocale(LC_ALL, "");
  // Numbers are always read and written with '.' as the decimal separator,
  // whatever the user's locale says.
  std::setlocale(LC_NUMERIC, "C");
  tk_init_code_page();
  tk_interrupt::install();
  // A write the system refuses (a closed pipe, the file size limit) fails
  // with its reason and is reported, instead of ending the run unheard.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);

  tk_logger logger(std::string(), false, 3, false);
  error_handler handler(9, g_err_table_general);
  handler.load_err_map(std::size(g_err_table_mysql), g_err_table_mysql);
  handler.load_err_map(3, g_err_table_workbook);
  xls2sql_converter driver;

  try {
    if (argc < 2 || !parse_cmd_line(argc, argv)) report_and_exit(usage_text(k_version_major, k_version_minor));
    // Settings that exist but cannot be read would leave the run on the
    // defaults: another code page, character set, engine or dump form.
    if (const int error = driver.load_error())
      throw tk_exception_ex("Cannot read settings file '" + driver.store_path() + "': ", 1, error);
    // A value the run cannot read would leave it on the default: a dump
    // asked for without its table statements would replace the tables.
    if (!driver.load_problem().empty()) throw tk_exception(driver.load_problem(), 1);
    if (driver.direct) driver.connect_mysql_server();
    driver.check_dest();
    driver();
    // A trace log that stopped short is a failure of the run too.
    if (const int error = logger.write_error())
      throw tk_exception_ex("Cannot write log file '" + logger.file_name() + "': ", 1, error);
  } catch (const dao_required_exception&) {
    if (!driver.silent()) {
      std::fprintf(stderr, "%s\n%s\n",
                   tk_unicode_to_console(u"Failed to load Data Access Objects (DAO) support library. Installing "
                                         u"Microsoft Access Runtime may fix the problem.")
                       .c_str(),
                   g_project_web_address);
    }
    return -1;
  } catch (const tk_exception& e) {
    handler.handle(e);
    return -1;
  } catch (const std::exception& e) {
    report_and_exit(e.what());
  }
  // The reports of refused rows are the user's list of what was left out: a
  // run that could not deliver them did not succeed.
  if (const int error = tk_message_write_error()) {
    std::fprintf(stderr, "Cannot write the run's messages: %s\n", std::strerror(error));
    return -1;
  }
  return 0;
}

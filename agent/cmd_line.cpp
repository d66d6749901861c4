#include "cmd_line.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>

#include "error_handler.h"
#include "host_reg_key.h"
#include "tk_exception.h"
#include "tk_format.h"
#include "tk_logger.h"
#include "tk_path.h"
#include "tk_unicode.h"
#include "udb_profile.h"
#include "xls2sql_converter.h"

namespace {

enum option : uint32_t {
  opt_charset,
  opt_csv_delim,
  opt_dest,
  opt_dump,
  opt_engine,
  opt_extr_fn,
  opt_from_csv,
  opt_help,
  opt_logfile,
  opt_host,
  opt_mode,
  opt_no_refine,
  opt_port,
  opt_profile,
  opt_pswd,
  opt_silent,
  opt_skip_empty,
  opt_src,
  opt_tab_file,
  opt_tab_name,
  opt_user,
};

const char* const k_usage =
    "GRIDLOAD v%d.%d\n"
    "Usage: GRIDLOAD.EXE OPTIONS\n"
    "\n"
    "   --charset=...   MySQL character set (see 'Command Line' article of\n"
    "                   the product documentation for list of possible values)\n"
    "   --csv_delim=... select the delimiter that separates CSV field\n"
    "                   (0 - tab, 1 - semicolon, 2 - comma, 3 - space)\n"
    "   --dest=...      MySQL database name\n"
    "   --dump          convert MS Excel spreadsheet into MySQL dump file\n"
    "   --engine=...    MySQL storage engine (MyISAM, MEMORY, InnoDB\n"
    "                   BerkeleyDB, ARCHIVE, FEDERATED, etc)\n"
    "   --extr_fn       extract field names from the first row\n"
    "   --from_csv      data source is a CSV file (MS Excel spreadsheet by default)\n"
    "   --help          display this help message and exit\n"
    "   --logfile=...   path to the file where execution trace will be written\n"
    "   --host=...      MySQL server IP address or network name\n"
    "   --mode=...      how to process an existing MySQL database:\n"
    "                   0 - overwrite the entire database,\n"
    "                   1 - overwrite existing tables only,\n"
    "                   2 - skip existing tables,\n"
    "                   3 - merge\n"
    "   --no_refine     disable improving type conversion\n"
    "   --port=...      MySQL port\n"
    "   --profile=...   path to the file to load conversion settings from\n"
    "   --pswd=...      MySQL user password\n"
    "   --silent        disable program output\n"
    "   --skip_empty    do not convert empty rows\n"
    "   --src=...       CSV file or MS Excel spreadsheet name\n"
    "   --tab_file=...  file containing the list of tables to convert\n"
    "                   (one table name per line)\n"
    "   --tab_name=...  MySQL table name (when converting from CSV file)\n"
    "   --user=...      MySQL user name\n"
    "\n"
    "NOTES:\n"
    "   1) You can omit 'host' parameter to connect local MySQL server.\n"
    "   2) It is necessary to specify 'port' parameter only if it differs from\n"
    "      the default MySQL port 3306.\n"
    "   3) If you omit 'tab_file' parameter, all worksheets will be converted.\n"
    "   4) If you omit 'mode' parameter, default mode will be used\n"
    "      (it is 'overwrite the entire database' when converting xls file or\n"
    "      'overwrite existing tables only' when converting csv file)\n"
    "   5) Command line parameters that contain spaces must be enclosed in quotes\n"
    "      (for example --dest=\"my database\")";

// Wide options take the argument from the process code page; an argument
// that does not convert leaves the option as it was.
bool widen(const char* text, std::u16string& out) { return tk_ansi_to_unicode2(text, out); }

// Only "0" to "3" pass: the number must print back to exactly the text.
bool parse_mode(const char* text, int32_t& mode) {
  int value = std::atoi(text);
  if (std::to_string(value) != text || static_cast<unsigned>(value) > 3) return false;
  mode = value;
  return true;
}

}  // namespace

const cmd_option g_cmd_options[] = {
    {opt_charset, "--charset="},
    {opt_csv_delim, "--csv_delim="},
    {opt_dest, "--dest="},
    {opt_dump, "--dump"},
    {opt_engine, "--engine="},
    {opt_extr_fn, "--extr_fn"},
    {opt_from_csv, "--from_csv"},
    {opt_help, "--help"},
    {opt_logfile, "--logfile="},
    {opt_host, "--host="},
    {opt_mode, "--mode="},
    {opt_no_refine, "--no_refine"},
    {opt_port, "--port="},
    {opt_profile, "--profile="},
    {opt_pswd, "--pswd="},
    {opt_silent, "--silent"},
    {opt_skip_empty, "--skip_empty"},
    {opt_src, "--src="},
    {opt_tab_file, "--tab_file="},
    {opt_tab_name, "--tab_name="},
    {opt_user, "--user="},
    {0, ""},
};

std::string usage_text(int major, int minor) { return tk_format(k_usage, major, minor); }

void report_and_exit(const std::string& message) {
  TK_TRACE(3, "%s", message);
  xls2sql_converter* driver = xls2sql_converter::instance_ptr();
  if (!driver || !driver->silent()) std::fprintf(stderr, "%s\n", message.c_str());
  tk_exit(-1);
}

std::vector<std::u16string> process_tab_file(const std::string& path) {
  TK_TRACE(1, "process_tab_file(%s)", path);
  if (!tk_is_file_exist(path, tk_file_exists))
    report_and_exit("Table names file does not exist.\nPlease verify the correct path/name was given.");
  std::vector<std::u16string> names;
  std::ifstream in(path, std::ios::binary);
  std::string line;
  bool utf8 = false;
  while (std::getline(in, line)) {
    // Text mode: a CR LF pair ends a line as LF does.
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    if (names.empty() && line.compare(0, 3, "\xEF\xBB\xBF") == 0) {
      line.erase(0, 3);
      utf8 = true;
      if (line.empty()) continue;
    }
    TK_TRACE(1, "Got tab_file item: '%s'", line);
    names.push_back(utf8 ? tk_utf8_to_unicode(line) : tk_ansi_to_unicode(line));
  }
  return names;
}

bool parse_cmd_line(int argc, char** argv) {
  TK_TRACE(2, "parse_cmd_line");
  for (int i = 0; i < argc; ++i) TK_TRACE(1, "parameter #%d: %s", i, argv[i]);

  xls2sql_converter& driver = xls2sql_converter::instance();
  std::string host, user, port;
  std::optional<std::string> password;  // none without --pswd, which differs from an empty one
  std::vector<std::u16string> tables;
  bool mode_given = false;
  bool profile_loaded = false;

  // The files the run reads, and the dump it writes, wherever they stand on
  // the line: the log, which empties its file, must not be one of them, nor
  // may a dump replace a file the run reads.
  // (An argument that begins with "--dump" is that option, as below.)
  const bool dump = std::any_of(argv + 1, argv + argc, [](const char* a) { return std::strncmp(a, "--dump", 6) == 0; });
  for (int i = 1; i < argc; ++i) {
    for (const char* option : {"--src=", "--profile=", "--tab_file="})
      if (std::strncmp(argv[i], option, std::strlen(option)) == 0) driver.keep_from_log(argv[i] + std::strlen(option));
    if (dump && std::strncmp(argv[i], "--dest=", 7) == 0) driver.keep_dump_from_log(argv[i] + 7);
    // And those of a profile, which may come after the log on the line. A
    // profile that cannot be read is reported when it is loaded.
    if (std::strncmp(argv[i], "--profile=", 10) == 0) {
      udb_profile profile;
      try {
        profile.load(std::string(argv[i] + 10));
        driver.keep_from_log(profile, dump);
      } catch (const tk_exception&) {
      }
    }
  }
  driver.keep_from_log(host_reg_key::settings_path());
  // The client library's option files, which may hold the account.
  for (const char* file : {"/etc/my.cnf", "/etc/mysql/my.cnf"}) driver.keep_from_log(file);
  if (const char* home = std::getenv("HOME"); home && *home) driver.keep_from_log(std::string(home) + "/.my.cnf");
  ansi_cmd_line cmd(argc, argv, g_cmd_options);
  for (; cmd.has_current(); cmd.next()) {
    const char* value = cmd.value();
    std::u16string wide;
    switch (cmd.option_id()) {
      case opt_charset:
        TK_TRACE(1, "parse_cmd_line - got charset '%s'", value);
        if (widen(value, wide)) driver.set_char_set(wide);
        break;
      case opt_csv_delim:
        TK_TRACE(2, "\tgot CSV delimiter %s", value);
        driver.csv_delim = std::atoi(value);
        break;
      case opt_dest:
        TK_TRACE(2, "\tgot dest %s", value);
        if (widen(value, wide)) driver.set_dest(wide);
        break;
      case opt_dump:
        TK_TRACE(2, "\tconvert into dump files");
        driver.direct = false;
        break;
      case opt_engine:
        TK_TRACE(1, "parse_cmd_line - got engine '%s'", value);
        if (widen(value, wide)) driver.set_table_engine(wide);
        break;
      case opt_extr_fn:
        TK_TRACE(2, "\textract fld.names from 1st row");
        driver.extract_field_names = true;
        break;
      case opt_from_csv:
        TK_TRACE(2, "\tconvert from CSV");
        driver.from_xls = false;
        break;
      case opt_help:
        report_and_exit(usage_text(k_version_major, k_version_minor));
      case opt_logfile:
        TK_TRACE(1, "parse_cmd_line - got logfile %s", value);
        driver.open_log(value);
        break;
      case opt_host:
        host = value;
        break;
      case opt_mode: {
        TK_TRACE(2, "\tgot mode %d", std::atoi(value));
        int32_t mode = 0;
        if (!parse_mode(value, mode)) report_and_exit("Invalid merge/overwrite mode");
        driver.set_mode(mode);
        mode_given = true;
        break;
      }
      case opt_no_refine:
        TK_TRACE(2, "\tdo not refine types mapping");
        driver.refine_types = false;
        break;
      case opt_port:
        port = value;
        break;
      case opt_profile:
        TK_TRACE(1, "parse_cmd_line - got profile %s", value);
        if (widen(value, wide)) profile_loaded = driver.load_profile_file(wide);
        break;
      case opt_pswd:
        password = value;
        break;
      case opt_silent:
        TK_TRACE(1, "parse_cmd_line - silent mode is ON");
        driver.set_silent(true);
        break;
      case opt_skip_empty:
        TK_TRACE(1, "Skip empty rows is ON");
        driver.skip_empty = true;
        break;
      case opt_src:
        TK_TRACE(2, "\tgot src %s", value);
        if (widen(value, wide)) driver.set_src(wide);
        break;
      case opt_tab_file:
        TK_TRACE(2, "\tgot tab_file %s", value);
        tables = process_tab_file(value);
        break;
      case opt_tab_name:
        TK_TRACE(2, "\tgot tab_name %s", value);
        if (widen(value, wide)) driver.tab_name = wide;
        break;
      case opt_user:
        user = value;
        break;
      default:
        break;  // unrecognised: reported below with the usage text
    }
  }
  if (!cmd.unrecognised().empty()) return false;

  if (driver.source().empty()) report_and_exit("You should enter data source name");
  if (driver.destination().empty()) report_and_exit("You should enter destination MySQL database name");
  if (driver.from_xls) {
    if (!profile_loaded) {
      std::vector<std::u16string> sheets;
      driver.get_all_sheets(sheets);
      driver.set_sel_sheets1(tables.empty() ? sheets : tables);
    }
  } else {
    if (driver.tab_name.empty()) report_and_exit("You should specify MySQL table name (use '--tab_name' option)");
    if (driver.csv_delim == -1) report_and_exit("You should specify CSV delimiter (use '--csv_delim' option)");
    if (driver.csv_delim < 0 || driver.csv_delim > 3)
      report_and_exit("Invalid CSV delimiter (use 0 - tab, 1 - semicolon, 2 - comma, 3 - space)");
    // A profile that names a mode keeps it.
    if (!mode_given && !driver.mode_from_profile()) driver.set_mode(1);
  }
  if (!profile_loaded) driver.store_mysql_settings(host, user, password, port);
  // Names that reach CREATE statements as written are refused before
  // anything is created.
  if (const std::string refused = driver.refused_name(); !refused.empty()) report_and_exit(refused);
  return true;
}

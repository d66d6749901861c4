// The live writer against LOAD DATA LOCAL INFILE on the private server:
//   mysql_append_bench [ROWS] [CSV]
// Generates ROWS rows (default 1,000,000) of the CSV generator's 12 typed
// columns (or takes CSV), appends them through sql_table::append_record
// into an InnoDB table, loads the same file with LOAD DATA LOCAL INFILE
// into an identical table, and prints both times, rows/s, the ratio, and
// the client's and the server's CPU time against the wall time. The reading
// of the CSV file alone is timed too, since the writer's run includes it.
// Needs GRIDLOAD_TEST_HOST/PORT/USER/PASSWORD (and GRIDLOAD_TEST_SOCKET to
// find the server's process): source scripts/lib/common.sh and call
// start_private_mariadb first.

#include <mysql.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "csv_file.h"
#include "sql_database.h"
#include "sql_engine.h"
#include "sql_table.h"
#include "tk_unicode.h"

namespace {

double cpu_seconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The server's CPU time from /proc (0 when its process is not known).
double server_cpu_seconds(long pid) {
  if (pid <= 0) return 0;
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const size_t close = text.rfind(')');
  if (close == std::string::npos) return 0;
  unsigned long utime = 0, stime = 0;
  // Fields after the command: state (3) ... utime (14), stime (15).
  std::sscanf(text.c_str() + close + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime, &stime);
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

long server_pid() {
  const char* socket = std::getenv("GRIDLOAD_TEST_SOCKET");
  if (!socket) return 0;
  std::string dir(socket);
  dir = dir.substr(0, dir.rfind('/'));
  std::ifstream pid_file(dir + "/mysqld.pid");
  long pid = 0;
  pid_file >> pid;
  return pid;
}

struct measure {
  double wall = 0, client = 0, server = 0;
};

class stopwatch {
 public:
  explicit stopwatch(long pid)
      : pid_(pid), start_(std::chrono::steady_clock::now()), cpu_(cpu_seconds()), server_(server_cpu_seconds(pid)) {}
  measure stop() const {
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count(), cpu_seconds() - cpu_,
            server_cpu_seconds(pid_) - server_};
  }

 private:
  long pid_;
  std::chrono::steady_clock::time_point start_;
  double cpu_;
  double server_;
};

t_ftd column(const char16_t* name, VARTYPE vt, uint32_t size, uint32_t reserved = 0) {
  return t_ftd(size, name, vt, false, false, ole_variant(), reserved);
}

// The generator's columns, typed.
udb_schema bench_schema() {
  udb_schema s;
  s.push_back(column(u"row", VT_I4, 4));
  s.push_back(column(u"int_value", VT_I4, 4));
  s.push_back(column(u"big_value", VT_I8, 8));
  t_ftd dec = column(u"decimal_value", VT_DECIMAL, 8);
  dec.precision = 10;
  dec.scale = 3;
  s.push_back(dec);
  s.push_back(column(u"money", VT_CY, 8));
  s.push_back(column(u"day", VT_DATE, 8, 2));
  s.push_back(column(u"moment", VT_DATE, 8, 1));
  s.push_back(column(u"clock", VT_DATE, 8, 3));
  s.push_back(column(u"short_text", VT_BSTR, 100));
  s.push_back(column(u"long_text", VT_BSTR, 0));
  s.push_back(column(u"intl_text", VT_BSTR, 200));
  s.push_back(column(u"code", VT_BSTR, 10));
  return s;
}

void print(const char* what, const measure& m, uint64_t rows) {
  std::printf("%-28s %8.2f s wall %10.0f rows/s | client CPU %6.2f s (%3.0f%% of wall) | server CPU %6.2f s\n", what,
              m.wall, static_cast<double>(rows) / m.wall, m.client, 100.0 * m.client / m.wall, m.server);
}

bool run(MYSQL* mysql, const std::string& sql) {
  if (mysql_real_query(mysql, sql.data(), sql.size()) != 0) {
    std::fprintf(stderr, "%s\n  %s\n", mysql_error(mysql), sql.c_str());
    return false;
  }
  if (MYSQL_RES* r = mysql_store_result(mysql)) mysql_free_result(r);
  return true;
}

std::string scalar(MYSQL* mysql, const std::string& sql) {
  std::string value;
  if (mysql_real_query(mysql, sql.data(), sql.size()) != 0) return mysql_error(mysql);
  if (MYSQL_RES* r = mysql_store_result(mysql)) {
    if (MYSQL_ROW row = mysql_fetch_row(r)) value = row[0] ? row[0] : "NULL";
    mysql_free_result(r);
  }
  return value;
}

}  // namespace

int main(int argc, char** argv) {
  const uint64_t rows_wanted = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
  const char* host = std::getenv("GRIDLOAD_TEST_HOST");
  const char* port = std::getenv("GRIDLOAD_TEST_PORT");
  const char* user = std::getenv("GRIDLOAD_TEST_USER");
  const char* password = std::getenv("GRIDLOAD_TEST_PASSWORD");
  if (!host || !port || !user || !password) {
    std::fprintf(stderr,
                 "GRIDLOAD_TEST_HOST/PORT/USER/PASSWORD are not set: source scripts/lib/common.sh and call "
                 "start_private_mariadb first\n");
    return 2;
  }
  std::string path = argc > 2 ? argv[2] : "";
  std::string generated;
  if (path.empty()) {
    char dir[] = "/tmp/gl-bench-XXXXXX";
    if (!mkdtemp(dir)) return 1;
    generated = dir;
    path = generated + "/bench.csv";
    const std::string command = std::string(CSV_GEN_PATH) + " " + std::to_string(rows_wanted) + " '" + path + "' 1";
    if (std::system(command.c_str()) != 0) return 1;
  }
  const long pid = server_pid();
  const std::u16string wpath = tk_utf8_to_unicode(path);

  // The reader alone (and the file in the page cache for both loads).
  uint64_t rows = 0;
  int64_t bytes = 0;
  measure read_only;
  {
    stopwatch w(0);
    csv_file file(wpath, csv_delimiter(2), true);
    for (; !file.is_eof(); file.move_next()) {
      file.get_record();
      ++rows;
    }
    bytes = file.file_size();
    read_only = w.stop();
  }
  std::printf("%llu rows, %.1f MB of CSV\n", static_cast<unsigned long long>(rows), static_cast<double>(bytes) / 1e6);

  sql_engine engine;
  engine.set_char_set(u"utf8mb4");
  engine.connect(host, user, password, static_cast<unsigned>(std::atoi(port)));
  const std::u16string db_name = u"gl_append_bench";
  if (engine.is_db_exist(db_name)) engine.db_delete(db_name);
  std::unique_ptr<udb_database> db = engine.create_db(db_name, 0);
  udb_indexes indexes;
  udb_index pk(u"pk", true, true);
  pk.fields = {u"row"};
  indexes.push_back(pk);

  measure append;
  {
    std::unique_ptr<udb_recordset> table = db->create_table(u"t_append", bench_schema(), indexes);
    stopwatch w(pid);
    csv_file file(wpath, csv_delimiter(2), true);
    for (; !file.is_eof(); file.move_next()) table->append_record(*file.get_record());
    static_cast<sql_table&>(*table).flush();
    append = w.stop();
  }

  // LOAD DATA on a connection of its own, into a table made the same way.
  MYSQL* load = mysql_init(nullptr);
  unsigned on = 1;
  mysql_options(load, MYSQL_OPT_LOCAL_INFILE, &on);
  mysql_options(load, MYSQL_SET_CHARSET_NAME, "utf8mb4");
  if (!mysql_real_connect(load, host, user, password, "gl_append_bench", static_cast<unsigned>(std::atoi(port)),
                          nullptr, 0)) {
    std::fprintf(stderr, "%s\n", mysql_error(load));
    return 1;
  }
  run(load, "CREATE TABLE t_load LIKE t_append");
  measure load_data;
  {
    stopwatch w(pid);
    const std::string sql =
        "LOAD DATA LOCAL INFILE '" + path +
        "' INTO TABLE t_load CHARACTER SET utf8mb4 FIELDS TERMINATED BY ',' OPTIONALLY ENCLOSED BY '\"' ESCAPED BY "
        "'' LINES TERMINATED BY '\\n' IGNORE 1 LINES (@c1, @c2, @c3, @c4, @c5, @c6, @c7, @c8, short_text, "
        "long_text, intl_text, code) SET `row`=@c1, int_value=NULLIF(@c2, ''), big_value=NULLIF(@c3, ''), "
        "decimal_value=NULLIF(@c4, ''), money=NULLIF(@c5, ''), day=NULLIF(@c6, ''), moment=NULLIF(@c7, ''), "
        "clock=NULLIF(@c8, '')";
    if (!run(load, sql)) return 1;
    load_data = w.stop();
  }

  const char* check =
      "SELECT CONCAT(COUNT(*), '/', IFNULL(SUM(int_value), 0), '/', IFNULL(SUM(money), 0), '/', "
      "COUNT(moment), '/', SUM(CHAR_LENGTH(intl_text))) FROM ";
  const std::string a = scalar(load, std::string(check) + "t_append");
  const std::string b = scalar(load, std::string(check) + "t_load");
  std::printf("rows/sum(int)/sum(money)/dates/intl chars: append %s, LOAD DATA %s%s\n", a.c_str(), b.c_str(),
              a == b ? "" : "  <-- DIFFERENT");

  print("CSV reading alone", read_only, rows);
  print("sql_table::append_record", append, rows);
  print("LOAD DATA LOCAL INFILE", load_data, rows);
  std::printf("ratio to LOAD DATA (rows/s): %.2f\n", load_data.wall / append.wall);
  run(load, "DROP DATABASE gl_append_bench");
  mysql_close(load);
  if (!generated.empty()) {
    std::remove(path.c_str());
    rmdir(generated.c_str());
  }
  return 0;
}

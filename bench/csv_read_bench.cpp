// Reads a typed CSV file record by record and renders every cell as a MySQL
// literal into one statement buffer, as the dump writer does (the buffer is
// emptied past 1,000,000 bytes, as a statement would be written out):
//   csv_read_bench [--encoding=utf-8|utf-16le|windows-1252] [--code-page=NAME] [FILE]
// Without FILE, csv_gen writes 200,000 rows in the encoding (UTF-8 by
// default) into a temporary file first. The reader chooses the encoding as
// a run does (the byte-order mark, else --code-page, else the UTF-8 check
// of the whole file, which the time includes). Prints the input MB/s of the
// read-and-render loop and, measured in the same run on the same (cached)
// file, the MB/s of `cat FILE > /dev/null`.

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "csv_file.h"
#include "sql_dialect.h"
#include "t_ftd.h"
#include "tk_unicode.h"

namespace {

constexpr size_t max_statement_bytes = 1000000;

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// CPU seconds (user + system) of this process or of its waited-for children.
double cpu_seconds(int who) {
  rusage u{};
  getrusage(who, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct timing {
  double wall, cpu;
};

timing time_cat(const std::string& path) {
  const std::string command = "cat '" + path + "' > /dev/null";
  const double cpu = cpu_seconds(RUSAGE_CHILDREN);
  auto start = std::chrono::steady_clock::now();
  if (std::system(command.c_str()) != 0) std::fprintf(stderr, "cat failed\n");
  return {seconds_since(start), cpu_seconds(RUSAGE_CHILDREN) - cpu};
}

}  // namespace

int main(int argc, char** argv) {
  std::string path, generated, encoding = "utf-8";
  std::u16string code_page;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--encoding=", 0) == 0) {
      encoding = arg.substr(11);
    } else if (arg.rfind("--code-page=", 0) == 0) {
      code_page = tk_utf8_to_unicode(arg.substr(12));
    } else {
      path = arg;
    }
  }
  if (path.empty()) {
    char dir[] = "/tmp/gridload-csv-bench-XXXXXX";
    if (!mkdtemp(dir)) return 1;
    generated = dir;
    path = generated + "/bench.csv";
    const std::string command = std::string(CSV_GEN_PATH) + " 200000 '" + path + "' 1 " + encoding;
    if (std::system(command.c_str()) != 0) return 1;
  }

  time_cat(path);  // warm the cache
  // Best of three; wall time, and CPU time, which a busy machine disturbs less.
  timing best_cat{1e9, 1e9}, best_read{1e9, 1e9};
  size_t rows = 0, cells = 0, output = 0;
  std::string read_as;
  int64_t input = 0;
  for (int round = 0; round < 3; ++round) {
    const timing cat = time_cat(path);
    best_cat = {std::min(best_cat.wall, cat.wall), std::min(best_cat.cpu, cat.cpu)};
    const double cpu = cpu_seconds(RUSAGE_SELF);
    auto start = std::chrono::steady_clock::now();
    csv_file file(tk_utf8_to_unicode(path), csv_delimiter(2), true, csv_file::default_buffer_size, code_page);
    read_as = file.encoding().name() + (file.encoding_guessed() ? " (not UTF-8)" : "");
    const udb_schema& schema = file.schema();
    const sql_dialect dialect(sql_dialect::dump_version_new, sql_dialect::target::dump);
    std::string statement;
    statement.reserve(max_statement_bytes + (1 << 16));
    rows = cells = output = 0;
    while (!file.is_eof()) {
      const udb_record& record = *file.get_record();
      statement += rows == 0 ? " VALUES(" : ",(";
      for (size_t i = 0; i < record.size(); ++i) {
        if (i) statement += ", ";
        dialect.append_cell(statement, record[i], *schema.fields[i], false);
      }
      statement += ')';
      cells += record.size();
      ++rows;
      if (statement.size() > max_statement_bytes) {
        output += statement.size();
        statement.clear();
      }
      file.move_next();
    }
    output += statement.size();
    input = file.file_size();
    best_read = {std::min(best_read.wall, seconds_since(start)),
                 std::min(best_read.cpu, cpu_seconds(RUSAGE_SELF) - cpu)};
  }
  const double mb = static_cast<double>(input) / 1e6;
  std::printf("input: %.1f MB read as %s, %zu rows, %zu cells; output %.1f MB of literals\n", mb, read_as.c_str(), rows,
              cells, static_cast<double>(output) / 1e6);
  std::printf("read+render: %.3f s wall, %.1f MB/s, %.0f rows/s; %.3f s CPU, %.1f MB/s\n", best_read.wall,
              mb / best_read.wall, static_cast<double>(rows) / best_read.wall, best_read.cpu, mb / best_read.cpu);
  std::printf("cat > /dev/null: %.3f s wall, %.1f MB/s; %.3f s CPU, %.1f MB/s\n", best_cat.wall, mb / best_cat.wall,
              best_cat.cpu, mb / best_cat.cpu);
  std::printf("time ratio to cat: %.1f wall, %.1f CPU\n", best_read.wall / best_cat.wall, best_read.cpu / best_cat.cpu);
  if (!generated.empty()) {
    std::remove(path.c_str());
    rmdir(generated.c_str());
  }
  return 0;
}

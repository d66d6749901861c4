// Fuzz target: arbitrary bytes as a CSV file. Byte 0 picks the delimiter
// (bits 0-1), the header flag (bit 2) and the code page (bits 3-5: none,
// UTF-8, Windows-1252, Windows-1253 with its undefined bytes, Shift_JIS,
// UTF-16LE, UTF-16BE, GB18030); the rest is the file. The file is read to
// its end twice, through a 3-byte and a 64 KiB buffer, and both readings
// must give the same schema and records; nothing may throw (a line that
// cannot be decoded is reported, not raised). Without a code page or a
// byte-order mark, the reading equals that with the code page UTF-8 when
// the file is UTF-8 (as TK's strict decoder sees it), and that with
// Windows-1252 otherwise, unless its head has zeros in every second byte,
// which makes it UTF-16 of that byte order; the records of a UTF-8 file are
// the same read into fields of UTF-8 (split as they are read). Invariants: column names are unique ignoring
// case; a record never has more fields than the schema; every field is
// text whose declared size is its length. The logical lines are also
// parsed without a schema, as the header line is.

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "csv_file.h"
#include "csv_record.h"
#include "fuzz_check.h"
#include "t_ftd.h"
#include "tk_exception.h"
#include "tk_unicode.h"
#include "tk_wstring.h"

namespace {

// The input file, in memory (rewriting a disk file for every input would
// make the target wait on the disk), read by its /proc/self/fd path.
int temp_fd() {
  static const int fd = memfd_create("gridload-csv-fuzz", 0);
  check(fd >= 0);
  return fd;
}

const std::string& temp_path() {
  static const std::string path = "/proc/self/fd/" + std::to_string(temp_fd());
  return path;
}

constexpr const char16_t* code_pages[] = {u"",    u"65001",    u"1252",     u"1253",
                                          u"932", u"UTF-16LE", u"UTF-16BE", u"GB18030"};

struct reading {
  std::vector<std::u16string> columns;
  std::vector<std::vector<std::u16string>> records;
  std::vector<std::u16string> lines;
  std::string encoding;  // the one chosen, "?" after a guess
  bool operator==(const reading&) const = default;
};

reading read_all(const char16_t* delimiter, bool header, size_t buffer_size, const char16_t* code_page,
                 bool utf8 = false) {
  reading out;
  csv_file file(tk_utf8_to_unicode(temp_path()), delimiter, header, buffer_size, code_page);
  file.set_utf8_fields(utf8);
  out.encoding = file.encoding().name() + (file.encoding_guessed() ? "?" : "");
  const udb_schema& schema = file.schema();
  check(schema.size() >= 1);
  for (size_t i = 0; i < schema.size(); ++i) {
    out.columns.push_back(schema.fields[i]->name);
    for (size_t j = 0; j < i; ++j) check(!tk_wstring::equal_no_case(schema.fields[i]->name, schema.fields[j]->name));
  }
  while (!file.is_eof()) {
    if (!utf8) out.lines.push_back(file.current_line());
    const udb_record* r = file.get_record();
    check(r->size() >= 1 && r->size() <= schema.size());
    std::vector<std::u16string> cells;
    for (size_t i = 0; i < r->size(); ++i) {
      const udb_field& f = (*r)[i];
      check(f.get_type() == VT_BSTR && f.declared_size() == f.text().size());
      check(f.name() == schema.fields[i]->name);
      cells.push_back(f.text());
    }
    out.records.push_back(std::move(cells));
    file.move_next();
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const char16_t* delimiter = csv_delimiter(data[0] & 3);
  const bool header = (data[0] & 4) != 0;
  const char16_t* code_page = code_pages[(data[0] >> 3) & 7];
  const int fd = temp_fd();
  check(ftruncate(fd, 0) == 0);
  check(pwrite(fd, data + 1, size - 1, 0) == static_cast<ssize_t>(size - 1));

  reading small;
  try {
    small = read_all(delimiter, header, 3, code_page);
  } catch (const tk_exception& e) {
    // A file with no character, whose lines end with CR alone, whose line
    // of column names takes the whole file or holds too many fields, or a
    // workbook or compressed file, is refused whatever the buffer.
    check(e.level() == 1 && (e.message().ends_with("is empty: there is nothing to convert") ||
                             e.message().find("carriage return (CR) alone") != std::string::npos ||
                             e.message().ends_with("is not closed at the end of the file") ||
                             e.message().find("fields in its first line") != std::string::npos ||
                             e.message().ends_with("uncompress a file first")));
    bool refused = false;
    try {
      read_all(delimiter, header, 65536, code_page);
    } catch (const tk_exception& again) {
      refused = again.message() == e.message();
    }
    check(refused);
    return 0;
  }
  const reading large = read_all(delimiter, header, 65536, code_page);
  check(small == large);
  const std::string_view file(reinterpret_cast<const char*>(data + 1), size - 1);
  const bool marked = file.starts_with("\xEF\xBB\xBF") || file.starts_with("\xFF\xFE") || file.starts_with("\xFE\xFF");
  if (!*code_page && !marked) {
    std::u16string decoded;
    // A head of zeros in every second byte is UTF-16 without its mark.
    const bool is_utf8 = tk_append_utf16(decoded, file);
    const char16_t* same = large.encoding == "UTF-16LE?"   ? u"UTF-16LE"
                           : large.encoding == "UTF-16BE?" ? u"UTF-16BE"
                           : is_utf8                       ? u"65001"
                                                           : u"1252";
    const reading named = read_all(delimiter, header, 65536, same);
    check(large.columns == named.columns && large.records == named.records && large.lines == named.lines);
    if (is_utf8 && large.encoding == "UTF-8") {
      for (const size_t buffer_size : {size_t{3}, size_t{65536}}) {
        const reading split = read_all(delimiter, header, buffer_size, u"", true);
        check(split.columns == large.columns && split.records == large.records);
      }
    }
  }

  // Without a schema every field of the line is kept: one more than the
  // delimiters outside quotes.
  csv_record free_record(nullptr);
  for (const std::u16string& line : small.lines) {
    free_record.do_create(line, delimiter[0]);
    size_t outside = 0;
    bool in_quotes = false;
    for (char16_t c : line) {
      if (c == u'"')
        in_quotes = !in_quotes;
      else if (c == delimiter[0] && !in_quotes)
        ++outside;
    }
    check(free_record.size() == outside + 1);
  }
  return 0;
}

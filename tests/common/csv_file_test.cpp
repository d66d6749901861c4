#include "csv_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "allocation_count.h"
#include "csv_field_upsizer.h"
#include "csv_record.h"
#include "error_handler.h"
#include "expect_failure.h"
#include "t_ftd.h"
#include "test_support.h"
#include "tk_unicode.h"

using testsupport::expect_failure;

namespace {

using rows = std::vector<std::vector<std::string>>;  // UTF-8 for readable goldens

const size_t chunk_sizes[] = {1, 2, 3, 7, 64, 65536};

std::u16string w(const std::string& utf8) { return tk_utf8_to_unicode(utf8); }
std::string u8(const std::u16string& text) { return tk_unicode_to_utf8(text); }

// The same text as UTF-16 with its byte-order mark (a UTF-8 mark in
// `utf8` is left out: the file has one mark).
std::string utf16_file(std::string_view utf8, bool big_endian) {
  if (utf8.starts_with("\xEF\xBB\xBF")) utf8.remove_prefix(3);
  std::string out = big_endian ? "\xFE\xFF" : "\xFF\xFE";
  for (char16_t u : w(std::string(utf8))) {
    const char pair[2] = {static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)};
    out += big_endian ? std::string{pair[1], pair[0]} : std::string{pair[0], pair[1]};
  }
  return out;
}

// Every record's texts; each field is text of its own length and carries its column's name.
// With `utf8`, the records after the first hold their text as UTF-8; without, they hold
// UTF-16. (The first, read before the fields were asked for, is UTF-8 when the file is
// and a header came before it.)
rows read_records(csv_file& file, bool utf8 = false) {
  rows out;
  for (int guard = 0; !file.is_eof() && guard < 1000; ++guard) {
    const udb_record* r = file.get_record();
    std::vector<std::string> cells;
    for (size_t i = 0; i < r->size(); ++i) {
      const udb_field& f = (*r)[i];
      if (guard > 0) {
        EXPECT_EQ(f.utf8().has_value(), utf8);
      }
      const size_t units = f.text_units();  // counted, before the UTF-16 form is made
      EXPECT_EQ(std::pair(f.get_type(), f.declared_size()), std::pair(VARTYPE(VT_BSTR), uint32_t(f.text().size())));
      EXPECT_EQ(units, f.text().size());
      if (i < file.schema().size()) {
        EXPECT_EQ(f.name(), file.schema().fields[i]->name);
      }
      cells.push_back(u8(f.text()));
    }
    out.push_back(cells);
    file.move_next();
  }
  return out;
}

rows read_all(const std::string& path, const char16_t* delimiter, bool header, size_t buffer_size,
              std::u16string_view code_page = {}, std::pair<std::string, bool>* encoding = nullptr, bool utf8 = false) {
  csv_file file(w(path), delimiter, header, buffer_size, code_page);
  if (encoding) *encoding = {file.encoding().name(), file.encoding_guessed()};
  file.set_utf8_fields(utf8);
  return read_records(file, utf8);
}

// The same read from a named pipe, which gives its bytes once.
rows read_piped(const testsupport::temp_dir& dir, const std::string& bytes, const char16_t* delimiter, bool header,
                size_t buffer_size) {
  const std::string fifo = dir.file("fifo");
  std::remove(fifo.c_str());
  EXPECT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::thread writer([&] { testsupport::write_file(fifo, bytes); });
  struct join {
    std::thread& t;
    ~join() { t.join(); }
  } joined{writer};
  csv_file file(w(fifo), delimiter, header, buffer_size);
  EXPECT_FALSE(file.can_read_again());
  return read_records(file);
}

// Runs one input, as it is and as UTF-16 in both byte orders (with their
// byte-order mark), from a file and from a pipe, through every buffer size:
// a quote, a line end or a character split across a refill must not change
// anything, nor must a source that cannot be read twice (its mark was not
// looked for), nor fields that keep the UTF-8 of a file found UTF-8.
void expect_records(const std::string& bytes, const rows& expected, const char16_t* delimiter = u",",
                    bool header = false) {
  testsupport::temp_dir dir;
  const std::string path = dir.file("in.csv");
  for (const int form : {0, 1, 2}) {
    SCOPED_TRACE(form == 0 ? "UTF-8" : form == 1 ? "UTF-16LE" : "UTF-16BE");
    const std::string file_bytes = form == 0 ? bytes : utf16_file(bytes, form == 2);
    testsupport::write_file(path, file_bytes);
    for (size_t size : chunk_sizes) {
      SCOPED_TRACE("buffer size " + std::to_string(size));
      EXPECT_EQ(read_all(path, delimiter, header, size), expected);
      if (form == 0) {
        EXPECT_EQ(read_all(path, delimiter, header, size, {}, nullptr, true), expected) << "UTF-8 fields";
      }
      EXPECT_EQ(read_piped(dir, file_bytes, delimiter, header, size), expected) << "piped";
    }
  }
}

// Fields past the columns are left out; the record says whether they held
// a value (a doubled quote in quotes is one), which the run then reports.
TEST(csv_file_quoting, FieldsPastTheColumnsTellWhetherAValueWasLeftOut) {
  udb_schema two;
  for (const char16_t* name : {u"a", u"b"}) two.push_back(t_ftd(255, name, VT_BSTR, false, false, ole_variant(), 0));
  const std::pair<std::u16string_view, bool> lines[] = {
      {u"1,2", false},       {u"1,2,", false},       {u"1,2, ,\"\",\t\r", false},
      {u"1,2,\" \"", false}, {u"1,2,3", true},       {u"1,2,\"\"\"\"", true},
      {u"1,2,\",\"", true},  {u"1,\"2,x\",y", true}, {u"1,\"2,x\"", false},
  };
  for (const auto& [line, cut] : lines) {
    csv_record record(&two);
    record.do_create(line, u',');
    EXPECT_EQ(record.cut(), cut) << tk_unicode_to_utf8(line);
  }
}

TEST(csv_file_quoting, QuotesDelimitersHeaderAndLineJoining) {
  const std::string long_value(200000, 'x'), part(70000, 'y');
  const std::string quoted = part + "\n" + part + "\n" + part;
  std::string wide_mix, wide_mix_long;  // one to four bytes a character
  for (int i = 0; i < 3; ++i) wide_mix += "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
  for (int i = 0; i < 50; ++i) wide_mix_long += wide_mix;
  struct row {
    const char* name;
    std::string bytes;
    rows expected;
    const char16_t* delimiter = u",";
    bool header = false;
  };
  const row table[] = {
      {"quoted delimiter", "1,\"a,b\",3\n", {{"1", "a,b", "3"}}},
      {"three physical lines", "\"a\nb\nc\",d\ne\n", {{"a\nb\nc", "d"}, {"e"}}},
      {"CR LF inside quotes is one LF", "1,\"x\r\ny\",2\r\n", {{"1", "x\ny", "2"}}},
      {"CR LF ends a line", "a,b\r\nc\r\n", {{"a", "b"}, {"c"}}},
      {"lone CR is a character", "a\rb,c\n", {{"a\rb", "c"}}},
      {"CR before CR LF stays", "a\r\r\n", {{"a\r"}}},
      {"doubled quote inside quotes", "\"a \"\"b\"\" c\"\n", {{"a \"b\" c"}}},
      {"empty quoted field", "1,\"\",3\n", {{"1", "", "3"}}},
      {"only a literal quote", "\"\"\"\"\n", {{"\""}}},
      {"quotes inside a field", "ab\"c,d\"e\n", {{"abc,de"}}},
      {"unquoted field opens a quote across lines", "a\"b\nc\"d\n", {{"ab\ncd"}}},
      {"empty line is a record", "a\n\nb\n", {{"a"}, {""}, {"b"}}},
      {"last line without line end", "a\nb", {{"a"}, {"b"}}},
      {"an end-of-file mark after the last line", "a\r\n\x1A", {{"a"}}},
      {"end-of-file marks and line ends after it", "a\n\x1A\x1A\r\n\x1A\n", {{"a"}}},
      {"a line of Ctrl-Z before others is a record", "a\n\x1A\nb\n", {{"a"}, {"\x1A"}, {"b"}}},
      {"trailing delimiter", "a,\n", {{"a", ""}}},
      {"fewer fields than the schema", "a,b,c\n1\n", {{"a", "b", "c"}, {"1"}}},
      {"surplus after a quoted delimiter", "a,b\n\"1,2\",3,4\n", {{"a", "b"}, {"1,2", "3"}}},
      {"byte-order mark is no part of the first field", "\xEF\xBB\xBFid\n", {{"id"}}},
      {"4-byte characters", "\xF0\x9F\x98\x80,\xC3\xA9\n", {{"\xF0\x9F\x98\x80", "\xC3\xA9"}}},
      {"characters of every width in fields of every length, after the first record",
       "x,y,z\n" + wide_mix + "," + wide_mix_long + ",\xC3\xA9\n",
       {{"x", "y", "z"}, {wide_mix, wide_mix_long, "\xC3\xA9"}}},
      {"lines of any length",
       long_value + ",1\n\"" + quoted + "\",2\r\nz\n",
       {{long_value, "1"}, {quoted, "2"}, {"z"}}},
      {"tab delimiter", "a\tb;c d,e\n", {{"a", "b;c d,e"}}, csv_delimiter(0)},
      {"semicolon delimiter", "a\tb;c d,e\n", {{"a\tb", "c d,e"}}, csv_delimiter(1)},
      {"comma delimiter", "a\tb;c d,e\n", {{"a\tb;c d", "e"}}, csv_delimiter(2)},
      {"space delimiter", "a\tb;c d,e\n", {{"a\tb;c", "d,e"}}, csv_delimiter(3)},
      {"a header is no record", "id,name\n1,x\n", {{"1", "x"}}, u",", true},
      {"a header alone", "id,name\n", {}, u",", true},
  };
  for (const row& r : table) {
    SCOPED_TRACE(r.name);
    expect_records(r.bytes, r.expected, r.delimiter, r.header);
  }
}

TEST(csv_file_header, NamesAndTheirUniquenessCycle) {
  struct row {
    const char* name;
    std::string first_line;
    bool header;
    std::vector<std::string> columns;
  };
  const row table[] = {
      {"trimmed, case-insensitive, empty", "id,ID,,  name \n", true, {"id", "ID_", "F3", "name"}},
      {"the whole cycle",
       "x,x,x,x,x,x,x,x,x\n",
       true,
       {"x", "x_", "x_1", "x_1_", "x_1_2", "x_1_2_", "x_1_2_3", "x_1_2_3_", "x_1_2_3_1"}},
      {"generated name collides", "F2,,x\n", true, {"F2", "F2_", "x"}},
      // A duplicate's name is none the line gives (it took a_, and a merge
      // stored the second a's values in the table's a_).
      {"made-up names leave the given ones", "a,a,a_\n", true, {"a", "a_1", "a_"}},
      {"a nameless field's too", "a,,F2\n", true, {"a", "F2_", "F2"}},
      {"only spaces are trimmed", " \tid\t \n", true, {"\tid\t"}},
      {"no header flag", "id,name\n", false, {"F1", "F2"}},
      {"empty first line", "\nx\n", true, {"F1"}},
  };
  testsupport::temp_dir dir;
  for (const row& r : table) {
    SCOPED_TRACE(r.name);
    testsupport::write_file(dir.file("h.csv"), r.first_line);
    csv_file file(w(dir.file("h.csv")), u",", r.header);
    std::vector<std::string> names;
    for (const auto& c : file.schema().fields) {
      names.push_back(u8(c->name));
      EXPECT_EQ(std::tuple(c->vartype, c->size, c->b_not_null, c->def_value.is_empty()),
                std::tuple(VT_BSTR, 255u, false, true));
    }
    EXPECT_EQ(names, r.columns);
  }
  // A file with no character (a byte-order mark at most), or nothing but
  // line ends, blanks and delimiters, names no column: it is refused, as is
  // a first line of more fields than a table may have columns (as many is
  // read), a file whose lines end with CR alone, a line of column names
  // whose quote takes in the whole file, and a workbook or compressed file.
  std::string wide;
  for (size_t i = 0; i < csv_file::max_columns; ++i) wide.append("c").append(std::to_string(i)) += ',';
  wide.back() = '\n';
  testsupport::write_file(dir.file("wide.csv"), wide);
  EXPECT_EQ(csv_file(w(dir.file("wide.csv")), u",", true).schema().size(), csv_file::max_columns);
  const std::string empty = "' is empty: there is nothing to convert";
  const std::string not_text =
      "' is no text but a workbook or a compressed file: convert a workbook without --from_csv, uncompress a file "
      "first";
  const std::string cr_alone =
      "' ends its lines with a carriage return (CR) alone, which ends no line here: convert its line ends to LF or CR "
      "LF";
  const std::pair<std::string, std::string> refused[] = {
      {"", empty},
      {"\xEF\xBB\xBF", empty},
      {"\xFF\xFE", empty},
      {"\n", empty},
      {" ,\r\n\n\t", empty},
      {std::string("\xFF\xFE\n\0,\0", 6), empty},
      {"\"a,b\"," + wide, "' has more than 4096 fields in its first line: a table holds at most 4096 columns"},
      {"id,\"a\rb\"\r1,x\r", cr_alone},
      {"id,name\r1,x\r2,y\n", cr_alone},  // one LF at the end
      {"id,\"name\n1,x\n", "': the quote opened on line 1 is not closed at the end of the file"},
      {"PK\x03\x04\x14", not_text},
      {"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", not_text},
      {"\x1F\x8B\x08", not_text},
      {"BZh91AY&SY\x01", not_text},
  };
  // So is each from a pipe, which gives its bytes once: it was read as it
  // came (a workbook's bytes became a table).
  for (const auto& c : refused) {  // no structured binding: clang refuses one in a capture
    testsupport::write_file(dir.file("e.csv"), c.first);
    testsupport::expect_failure([&] { csv_file file(w(dir.file("e.csv")), u",", true); }, 1, 0,
                                "CSV file '" + dir.file("e.csv") + c.second);
    testsupport::expect_failure([&] { read_piped(dir, c.first, u",", true, 64); }, 1, 0,
                                "CSV file '" + dir.file("fifo") + c.second);
  }
  // Text that starts as a signature does is text (a bzip2 stream's is
  // longer than "BZh", a name's first letters; it was refused).
  testsupport::write_file(dir.file("bz.csv"), "BZhang,x\n1,2\n");
  EXPECT_EQ(read_all(dir.file("bz.csv"), u",", false, 64), (rows{{"BZhang", "x"}, {"1", "2"}}));
}

// The encoding each file is read in (a trailing '?' marks a guess), what it
// gives, and what is reported: a line that cannot be read in it (its record
// left out, the next read), or a quote still open at the end of the file
// (everything after it kept). Every row through every buffer size, so that
// the UTF-8 check, a sequence and a surrogate pair are split between refills.
TEST(csv_file_encoding, ChosenBeforeTheFirstRecordAndReports) {
  testsupport::temp_dir dir;
  const std::string path = dir.file("e.csv");
  std::string late, late_as_1252;  // past the first chunks of the check
  for (int i = 0; i < 40000; ++i) {
    late += "\xC3\xA9";
    late_as_1252 += "\xC3\x83\xC2\xA9";
  }
  // A file large enough to be checked in two halves, whose middle falls
  // inside a character.
  std::string halves = "xy", halves_as_1252 = "xy";
  for (int64_t i = 0; i < csv_file::split_check_bytes / 2 + 1000; ++i) {
    halves += "\xC3\xA9";
    halves_as_1252 += "\xC3\x83\xC2\xA9";
  }
  struct row {
    std::string bytes;
    std::u16string code_page;
    rows expected;
    std::string encoding;
    int bad_line = 0;         // a line that cannot be read
    int open_quote_line = 0;  // a quote opened there and never closed
    std::string joined = {};  // the report of lines a quote in mid-field made one record
  };
  const row table[] = {
      {"caf\xC3\xA9,\xF0\x9F\x98\x80\n", u"", {{"caf\xC3\xA9", "\xF0\x9F\x98\x80"}}, "UTF-8"},
      {"\xC3\xA9,\xC3", u"", {{"\xC3\x83\xC2\xA9", "\xC3\x83"}}, "windows-1252?"},  // cut at the end
      {late + "\n\x9C\n", u"", {{late_as_1252}, {"\xC5\x93"}}, "windows-1252?"},
      {halves + "\n", u"", {{halves}}, "UTF-8"},
      {halves + "\n\x9C\n", u"", {{halves_as_1252}, {"\xC5\x93"}}, "windows-1252?"},
      {"\xEF\xBB\xBF\xC3\xA9\n", u"1251", {{"\xC3\xA9"}}, "UTF-8"},  // the mark wins
      {std::string("h\0i\0\n\0", 6), u"UTF-16LE", {{"hi"}}, "UTF-16LE"},
      {std::string("\0h\0\n", 4), u"1201", {{"h"}}, "UTF-16BE"},
      {"a\n\"b\nc\xFF\"\nd\n", u"65001", {{"a"}, {"d"}}, "UTF-8", 3},  // inside quotes: the record goes
      {"\x82\xA0,\x93\xFA\n\x82\n", u"932", {{"\xE3\x81\x82", "\xE6\x97\xA5"}}, "Shift_JIS", 2},
      {std::string("\xFF\xFE\x61\0\n\0\0\xD8\n\0\x62\0", 12), u"", {{"a"}, {"b"}}, "UTF-16LE", 2},  // lone surrogate
      {std::string("\xFE\xFF\0a\0\n\0", 7), u"", {{"a"}}, "UTF-16BE", 2},  // an odd byte at the end
      // Without a mark, zero bytes in every second byte: UTF-16 (they are
      // valid UTF-8, and the fields used to hold them).
      {std::string("i\0d\0,\0\xE9\0\r\0\n\0"
                   "1\0,\0x\0\n\0",
                   20),
       u"",
       {{"id", "\xC3\xA9"}, {"1", "x"}},
       "UTF-16LE?"},
      {std::string("\0i\0d\0\r\0\n\0"
                   "1\0\n",
                   12),
       u"",
       {{"id"}, {"1"}},
       "UTF-16BE?"},
      // Also with a character whose other byte is zero (U+4E00, U+3000): it
      // used to be read as Windows-1252, the zeros in its values.
      {std::string(
           "i\x00\x64\x00\x65\x00n\x00t\x00i\x00\x66\x00i\x00\x65\x00r\x00,\x00n\x00\x61\x00m\x00\x65\x00\x0A\x00"
           "\x31\x00,\x00\x00N \x00i\x00s\x00 \x00o\x00n\x00\x65\x00\x0A\x00\x32\x00,\x00x\x00\x00\x30y\x00\x0A\x00",
           66),
       u"",
       {{"identifier", "name"}, {"1", "\xE4\xB8\x80 is one"}, {"2", "x\xE3\x80\x80y"}},
       "UTF-16LE?"},
      {std::string(
           "\x00i\x00\x64\x00\x65\x00n\x00t\x00i\x00\x66\x00i\x00\x65\x00r\x00,\x00n\x00\x61\x00m\x00\x65\x00\x0A"
           "\x00\x31\x00,N\x00\x00 \x00i\x00s\x00 \x00o\x00n\x00\x65\x00\x0A",
           54),
       u"",
       {{"identifier", "name"}, {"1", "\xE4\xB8\x80 is one"}},
       "UTF-16BE?"},
      {std::string("a\0,b\nc,d\n", 9), u"", {{std::string("a\0", 2), "b"}, {"c", "d"}}, "UTF-8"},  // a zero alone
      {"a,b\n1,\"x\n2,3\n", u"", {{"a", "b"}, {"1", "x\n2,3\n"}}, "UTF-8", 0, 2},
      {"a,b\n1,\"x", u"", {{"a", "b"}, {"1", "x"}}, "UTF-8", 0, 2},  // no final line end
      {"\"a\nb\" \"c\nd\n", u"", {{"a\nb c\nd\n"}}, "UTF-8", 0, 2},  // closed and opened again
      {"1,5\" screen\n2,7\" screen\n3, \"x\ny\"\n",
       u"",
       {{"1", "5 screen\n2,7 screen"}, {"3", " x\ny"}},
       "UTF-8",
       0,
       0,
       ", line 1: a quote inside a field opens a quoted section that ends on line 2; lines 1 to 2 are one record"},
      // Also behind doubled quotes, and on the line a quoted field ends.
      {"1,27\" \"\"4K\"\" monitor\n2,x\n3,y\"\n",
       u"",
       {{"1", "27 \"4K\" monitor\n2,x\n3,y"}},
       "UTF-8",
       0,
       0,
       ", line 1: a quote inside a field opens a quoted section that ends on line 3; lines 1 to 3 are one record"},
      {"1,\"two\nlines\",27\" monitor\n2,y\"\n",
       u"",
       {{"1", "two\nlines", "27 monitor\n2,y"}},
       "UTF-8",
       0,
       0,
       ", line 2: a quote inside a field opens a quoted section that ends on line 3; lines 1 to 3 are one record"},
      {"0,x\n1,5\" screen\n2,y\"\n",
       u"",
       {{"0", "x"}, {"1", "5 screen\n2,y"}},
       "UTF-8",
       0,
       0,
       ", line 2: a quote inside a field opens a quoted section that ends on line 3; lines 2 to 3 are one record"},
  };
  for (const row& r : table) {
    SCOPED_TRACE(r.encoding + " " + std::to_string(&r - table));
    testsupport::write_file(path, r.bytes);
    const std::string file = "Error:\nCSV file '" + path + "'";
    const std::string report = r.bad_line ? file + ", line " + std::to_string(r.bad_line) + " cannot be read as " +
                                                r.encoding + ": the record is left out\n"
                               : r.open_quote_line
                                   ? file + ": the quote opened on line " + std::to_string(r.open_quote_line) +
                                         " is not closed at the end of the file\n"
                               : r.joined.empty() ? ""
                                                  : file + r.joined + "\n";
    for (size_t size : chunk_sizes) {
      if (r.bytes.size() >= csv_file::split_check_bytes && size < 65536) continue;  // read a byte at a time: slow
      SCOPED_TRACE(size);
      std::pair<std::string, bool> encoding;
      error_handler handler(0, nullptr);  // prints the level-0 reports
      testing::internal::CaptureStdout();
      const rows got = read_all(path, u",", false, size, r.code_page, &encoding);
      EXPECT_EQ(testing::internal::GetCapturedStdout(), report);
      EXPECT_EQ(std::pair(got, encoding.first + (encoding.second ? "?" : "")), std::pair(r.expected, r.encoding));
      // A file found UTF-8 throughout is split as it is read, with the same
      // reports.
      if (r.encoding == "UTF-8" && r.code_page.empty() && !r.bytes.starts_with("\xEF\xBB\xBF")) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(read_all(path, u",", false, size, {}, nullptr, true), r.expected) << "UTF-8 fields";
        EXPECT_EQ(testing::internal::GetCapturedStdout(), report) << "UTF-8 fields";
      }
    }
  }
}

TEST(csv_file_encoding, CodePagesThatCannotBeReadAreRefused) {
  testsupport::temp_dir dir;
  testsupport::write_file(dir.file("r.csv"), "a\n");
  const std::string unknown = "': name a Windows code page such as 1252 or a converter such as ISO-8859-15",
                    unsupported =
                        "': a CSV file is read in UTF-8, UTF-16 or a code page that keeps its line ends, quotes and "
                        "delimiters as the ASCII bytes";
  const std::pair<std::u16string, std::string> table[] = {
      {u"bogus", "Unknown CSV code page 'bogus" + unknown},
      {u"99999", "Unknown CSV code page '99999" + unknown},
      {u"UTF-32", "Unsupported CSV code page 'UTF-32" + unsupported},
      {u"ibm-037", "Unsupported CSV code page 'ibm-037" + unsupported},
      {u"ISO-2022-JP", "Unsupported CSV code page 'ISO-2022-JP" + unsupported},
  };
  for (const auto& r : table) {
    EXPECT_EQ(csv_encoding::refusal(r.first), r.second);
    expect_failure<tk_exception>([&] { csv_file file(w(dir.file("r.csv")), u",", false, 64, r.first); }, 1, 0,
                                 r.second);
  }
  for (const char16_t* usable : {u"", u"cp1251", u"ISO-8859-15", u"28605", u"65001", u"1200", u"GB18030"})
    EXPECT_EQ(csv_encoding::refusal(usable), "") << tk_unicode_to_utf8(usable);
}

// A file written in place while it is read (a copy over it, an export that
// empties and writes it again) gave the head of one file and the tail of
// another; it is a level-1 failure before any record of the new contents,
// in the first reading and in a second one alike.
TEST(csv_file_recordset, AFileWrittenInPlaceWhileReadFails) {
  testsupport::temp_dir dir;
  const std::string path = dir.file("t.csv");
  std::string old_rows = "id,name\n", new_rows = "id,name\n";
  for (int i = 0; i < 20000; ++i) {
    old_rows.append(std::to_string(i)).append(",old\n");
    new_rows.append(std::to_string(i)).append(",new\n");
  }
  const std::string failure = "CSV file '" + path + "' was changed while it was read";
  for (bool second : {false, true}) {
    SCOPED_TRACE(second ? "second reading" : "first reading");
    testsupport::write_file(path, old_rows);
    csv_file first(w(path), u",", true, 4096);
    std::unique_ptr<csv_file> again = second ? first.read_again() : nullptr;
    csv_file& file = second ? *again : first;
    file.get_record();
    file.move_next();
    std::ofstream(path, std::ios::binary | std::ios::trunc) << new_rows;  // the same file, written anew
    // No record of the new contents comes before the failure.
    expect_failure(
        [&] {
          for (; !file.is_eof(); file.move_next()) ASSERT_EQ(u8((*file.get_record())[1].text()), "old");
        },
        1, 0, failure);
  }
}

// The second reading (for the types, before the copy) reads the file the
// first one opened, in the encoding it chose, even when another file has
// been renamed over the path since. (That a pipe cannot be read twice is
// checked on every read of expect_records.)
TEST(csv_file_recordset, ASecondReadingReadsTheFileOpenedFirst) {
  testsupport::temp_dir dir;
  testsupport::write_file(dir.file("r.csv"), "a,b\n1,caf\xE9\n2,x\n");  // not UTF-8: read as Windows-1252
  testsupport::write_file(dir.file("new.csv"), "a,b\n3,new\n");
  csv_file file(w(dir.file("r.csv")), u",", true, 4);
  ASSERT_TRUE(file.can_read_again());
  ASSERT_EQ(std::rename(dir.file("new.csv").c_str(), dir.file("r.csv").c_str()), 0);
  std::unique_ptr<csv_file> again = file.read_again();
  EXPECT_EQ(std::pair(std::string(again->encoding().name()), again->encoding_guessed()),
            std::pair(std::string(file.encoding().name()), true));
  const rows expected{{"1", "caf\xC3\xA9"}, {"2", "x"}};
  EXPECT_EQ(read_records(*again), expected);
  EXPECT_EQ(read_records(file), expected);
  // Of a pipe, the encoding is guessed from its first 64 KiB (every line
  // not UTF-8 was left out).
  EXPECT_EQ(read_piped(dir, "a,b\n1,caf\xE9\n", u",", true, 4), (rows{{"1", "caf\xC3\xA9"}}));
}

// A record its user emptied (reset) comes back from the reading thread with
// fields named after their columns again.
TEST(csv_file_recordset, ARecordEmptiedByItsUserIsNamedAgain) {
  testsupport::temp_dir dir;
  std::string text = "a,b\n";
  for (int i = 0; i < 3000; ++i) text += std::to_string(i) + ",x\n";
  testsupport::write_file(dir.file("r.csv"), text);
  csv_file file(w(dir.file("r.csv")), u",", true, 4096);
  for (int i = 0; !file.is_eof(); ++i, file.move_next()) {
    udb_record& r = *file.get_record();
    ASSERT_EQ(r.size(), 2u);
    ASSERT_EQ(std::pair(r[0].name(), r[1].name()), std::pair(std::u16string(u"a"), std::u16string(u"b"))) << i;
    r.reset();
  }
}

// The fields of a line read as UTF-8 view their record's one buffer: a copy
// of the record keeps its text past the lines that follow, and the fields a
// shorter line left aside come back empty, not with another line's text.
TEST(csv_file_recordset, Utf8TextOutlivesItsLineOnlyInACopy) {
  testsupport::temp_dir dir;
  std::string text = "a,b,c\n";
  for (int i = 0; i < 3000; ++i) text += i % 2 ? "x\n" : "first " + std::to_string(i) + ",second,\"th\"\"ird\"\n";
  testsupport::write_file(dir.file("r.csv"), text);
  csv_file file(w(dir.file("r.csv")), u",", true, 4096);
  file.set_utf8_fields(true);
  std::vector<udb_record> copies;
  for (int i = 0; !file.is_eof(); ++i, file.move_next()) {
    udb_record& r = *file.get_record();
    if (i % 2 == 1) {
      ASSERT_EQ(r.size(), 1u);
      r.resize(3);
      ASSERT_EQ(std::pair(r[1].get_type(), r[2].get_type()), std::pair(VARTYPE(VT_EMPTY), VARTYPE(VT_EMPTY))) << i;
    } else if (i % 500 == 0) {
      copies.push_back(r);
    }
  }
  ASSERT_EQ(copies.size(), 6u);
  for (size_t k = 0; k < copies.size(); ++k) {
    const udb_record& c = copies[k];
    EXPECT_EQ(std::tuple(u8(c[0].text()), u8(c[1].text()), u8(c[2].text())),
              std::tuple("first " + std::to_string(k * 500), std::string("second"), std::string("th\"ird")));
  }
}

TEST(csv_file_recordset, RecordsOfAKnownWidthAllocateNothing) {
  if (!allocations_counted) GTEST_SKIP() << "allocations are not counted under the thread sanitizer";
  testsupport::temp_dir dir;
  std::string text = "a,b\n";
  for (int i = 0; i < 4000; ++i) text += "longer text,\"quoted, \"\"\" " + std::to_string(i % 10) + "\n";
  testsupport::write_file(dir.file("r.csv"), text);
  csv_file file(w(dir.file("r.csv")), u",", true, 4096);
  // The first lines fill the reading thread's slots and their records.
  for (int i = 0; i < 1500; ++i, file.move_next()) ASSERT_NE(file.get_record(), nullptr);
  const long before = allocations;
  for (size_t i = 0; i < 2000; ++i, file.move_next()) {
    const udb_record& r = *file.get_record();
    const std::u16string_view cell = r[1].text();
    ASSERT_EQ(cell.substr(0, 10), u"quoted, \" ");
    ASSERT_EQ(cell.substr(10), std::u16string_view(u"0123456789").substr((i + 1500) % 10, 1));
  }
  EXPECT_EQ(allocations - before, 0);
}

// Records which columns were widened, and to what.
class recording_upsizer : public csv_field_upsizer {
 public:
  using csv_field_upsizer::csv_field_upsizer;
  std::vector<std::pair<std::u16string, step>> widened;

 protected:
  void do_upsize(const t_ftd& column, step to) override { widened.emplace_back(column.name, to); }
};

// Steps up only, once per step, at the first value past each limit: over
// 255 UTF-16 units, then over 65,535 and 16,777,215 bytes of UTF-8.
TEST(csv_field_upsizer, ColumnsStepUpOnceAtEachLimit) {
  using step = csv_field_upsizer::step;
  udb_recordset table;
  for (const char16_t* name : {u"c1", u"c2", u"c3", u"c4", u"n"})
    table.schema().push_back(t_ftd(255, name, name[0] == u'n' ? VT_I4 : VT_BSTR, false, false, ole_variant(), 0));
  recording_upsizer upsizer(nullptr, &table);
  auto record = [](std::vector<std::u16string> texts) {
    udb_record r;
    for (auto& t : texts) r.push_back(udb_field(u"", 0, ole_variant(std::u16string_view(t))));
    return r;
  };
  auto text = [](size_t n, char16_t c = u'a') { return std::u16string(n, c); };
  std::u16string emoji;  // 128 characters of two UTF-16 units: 256 units
  for (int i = 0; i < 128; ++i) emoji += u"\U0001F600";
  const std::u16string over_text = text(21845, u'\u00E9') + text(21846, u'\u20AC');  // 109,228 bytes
  const struct {
    std::vector<std::u16string> cells;
    std::vector<std::pair<std::u16string, step>> widened;
  } cases[] = {
      {{text(255), u"", text(255), u"x"}, {}},
      {{text(65535), u"", text(256), emoji, text(300)},
       {{u"c1", step::text}, {u"c3", step::text}, {u"c4", step::text}}},
      {{text(65535), text(65536), text(256), emoji}, {{u"c2", step::mediumtext}}},
      {{text(21845, u'\u20AC'), u"", over_text, u""}, {{u"c3", step::mediumtext}}},
      {{text(16777215), u"", text(16777216), u""}, {{u"c1", step::mediumtext}, {u"c3", step::longtext}}},
      {{text(300), text(16777216), text(70000), u"", text(300)}, {{u"c2", step::longtext}}},
      {{u"", u"", u"", u"", u"", text(300)}, {}},  // wider than the table
  };
  for (const auto& r : cases) {
    SCOPED_TRACE(&r - cases);
    upsizer.widened.clear();
    upsizer.process(record(r.cells));
    EXPECT_EQ(upsizer.widened, r.widened);
  }
}

}  // namespace

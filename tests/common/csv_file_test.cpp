#include "csv_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <tuple>
#include <vector>

#include "csv_field_upsizer.h"
#include "csv_record.h"
#include "error_handler.h"
#include "expect_failure.h"
#include "t_ftd.h"
#include "test_support.h"
#include "tk_exception_ex.h"
#include "tk_unicode.h"

using testsupport::expect_failure;

namespace {

using rows = std::vector<std::vector<std::string>>;  // UTF-8 for readable goldens

const size_t chunk_sizes[] = {1, 2, 3, 7, 64, 65536};

std::u16string w(const std::string& utf8) { return tk_utf8_to_unicode(utf8); }
std::string u8(const std::u16string& text) { return tk_unicode_to_utf8(text); }

// Every record's texts; each field is text of its own length and carries its column's name.
rows read_all(const std::string& path, const char16_t* delimiter, bool header, size_t buffer_size) {
  csv_file file(w(path), delimiter, header, buffer_size);
  rows out;
  for (int guard = 0; !file.is_eof() && guard < 1000; ++guard) {
    const udb_record* r = file.get_record();
    std::vector<std::string> cells;
    for (size_t i = 0; i < r->size(); ++i) {
      const udb_field& f = (*r)[i];
      EXPECT_EQ(std::pair(f.get_type(), f.declared_size()), std::pair(VARTYPE(VT_BSTR), uint32_t(f.text().size())));
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

// Runs one input through every buffer size: a quote or line end split across
// a refill must not change anything.
void expect_records(const std::string& bytes, const rows& expected, const char16_t* delimiter = u",",
                    bool header = false) {
  testsupport::temp_dir dir;
  const std::string path = dir.file("in.csv");
  testsupport::write_file(path, bytes);
  for (size_t size : chunk_sizes) {
    SCOPED_TRACE("buffer size " + std::to_string(size));
    EXPECT_EQ(read_all(path, delimiter, header, size), expected);
  }
}

TEST(csv_file_quoting, QuotesDelimitersAndLineJoining) {
  const std::string long_value(200000, 'x'), part(70000, 'y');
  const std::string quoted = part + "\n" + part + "\n" + part;
  struct row {
    const char* name;
    std::string bytes;
    rows expected;
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
      {"lone line end", "\n", {{""}}},
      {"empty file", "", {}},
      {"trailing delimiter", "a,\n", {{"a", ""}}},
      {"fewer fields than the schema", "a,b,c\n1\n", {{"a", "b", "c"}, {"1"}}},
      {"surplus after a quoted delimiter", "a,b\n\"1,2\",3,4\n", {{"a", "b"}, {"1,2", "3"}}},
      {"byte-order mark kept", "\xEF\xBB\xBFid\n", {{"\xEF\xBB\xBFid"}}},
      {"4-byte characters", "\xF0\x9F\x98\x80,\xC3\xA9\n", {{"\xF0\x9F\x98\x80", "\xC3\xA9"}}},
      {"lines of any length",
       long_value + ",1\n\"" + quoted + "\",2\r\nz\n",
       {{long_value, "1"}, {quoted, "2"}, {"z"}}},
  };
  for (const row& r : table) {
    SCOPED_TRACE(r.name);
    expect_records(r.bytes, r.expected);
  }
}

TEST(csv_file_quoting, EachDelimiter) {
  const std::string line = "a\tb;c d,e\n";
  const rows expected[] = {{{"a", "b;c d,e"}}, {{"a\tb", "c d,e"}}, {{"a\tb;c d", "e"}}, {{"a\tb;c", "d,e"}}};
  for (int index = 0; index < 4; ++index) {
    SCOPED_TRACE(index);
    expect_records(line, expected[index], csv_delimiter(index));
  }
  EXPECT_EQ(csv_delimiter(-1), nullptr);
  EXPECT_EQ(csv_delimiter(4), nullptr);
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
      {"only spaces are trimmed", " \tid\t \n", true, {"\tid\t"}},
      {"no header flag", "id,name\n", false, {"F1", "F2"}},
      {"empty first line", "\nx\n", true, {"F1"}},
      {"empty file", "", true, {"F1"}},
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
}

TEST(csv_file_header, FirstLineIsDataOnlyWithoutTheFlag) {
  expect_records("id,name\n1,x\n", {{"id", "name"}, {"1", "x"}}, u",", false);
  expect_records("id,name\n1,x\n", {{"1", "x"}}, u",", true);
  expect_records("id,name\n", {}, u",", true);
}

// Captures what the error handler prints for level-0 reports.
struct reported {
  std::string out;
  explicit reported(const std::function<void()>& body) {
    error_handler handler(0, nullptr);
    testing::internal::CaptureStdout();
    body();
    out = testing::internal::GetCapturedStdout();
  }
};

TEST(csv_file_decisions, OpenQuoteAtTheEndKeepsEverythingAndReportsTheLine) {
  testsupport::temp_dir dir;
  const std::string path = dir.file("open.csv");
  struct row {
    const char* name;
    std::string bytes;
    rows expected;
    int opened_on;
  };
  const row table[] = {
      {"final line end inside the quote", "a,b\n1,\"x\n2,3\n", {{"a", "b"}, {"1", "x\n2,3\n"}}, 2},
      {"no final line end", "a,b\n1,\"x", {{"a", "b"}, {"1", "x"}}, 2},
      {"quote closed and opened again", "\"a\nb\" \"c\nd\n", {{"a\nb c\nd\n"}}, 2},
  };
  for (const row& r : table) {
    SCOPED_TRACE(r.name);
    testsupport::write_file(path, r.bytes);
    for (size_t size : chunk_sizes) {
      rows got;
      reported printed([&] { got = read_all(path, u",", false, size); });
      EXPECT_EQ(got, r.expected);
      EXPECT_EQ(printed.out, "Error:\nCSV file '" + path + "': the quote opened on line " +
                                 std::to_string(r.opened_on) + " is not closed at the end of the file\n");
    }
  }
}

TEST(csv_file_decisions, InvalidUtf8EndsTheFileAtItsLine) {
  testsupport::temp_dir dir;
  const std::string path = dir.file("bad.csv");
  // Line 3 is the second physical line of a quoted field.
  testsupport::write_file(path, "a\n\"b\nc\xFF\xC3(\"\nd\n");
  for (size_t size : chunk_sizes) {
    SCOPED_TRACE(size);
    csv_file file(w(path), u",", false, size);
    ASSERT_FALSE(file.is_eof());
    EXPECT_EQ(u8(file.get_record()->operator[](0).text()), "a");
    expect_failure<tk_exception_ex>([&] { file.move_next(); }, 0, EILSEQ,
                                    "Cannot convert to UNICODE string: CSV file '" + path +
                                        "', line 3: " + tk_exception_ex::system_message(EILSEQ));
  }
}

TEST(csv_file_decisions, UnopenableFileIsALevelOneSystemError) {
  testsupport::temp_dir dir;
  const std::string path = dir.file("missing.csv");
  expect_failure<tk_exception_ex>([&] { csv_file file(w(path), u",", true); }, 1, ENOENT,
                                  "Cannot open CSV file '" + path + "': " + tk_exception_ex::system_message(ENOENT));
}

TEST(csv_file_recordset, RecordAndItsStorageAreReused) {
  testsupport::temp_dir dir;
  testsupport::write_file(dir.file("r.csv"), "a,b\nlonger text,2\nx,y\n");
  csv_file file(w(dir.file("r.csv")), u",", true, 3);
  udb_record* first = file.get_record();
  const udb_field* cell = &(*first)[0];
  const char16_t* storage = cell->text().data();
  EXPECT_EQ(cell->text(), u"longer text");
  file.move_next();
  // The same record and field; the shorter text reuses the same buffer.
  udb_record* second = file.get_record();
  EXPECT_EQ(std::tuple(second, &(*second)[0], (*second)[0].text().data(), (*second)[0].text()),
            std::tuple(first, cell, storage, u"x"));
}

// Records which columns were widened.
class recording_upsizer : public csv_field_upsizer {
 public:
  using csv_field_upsizer::csv_field_upsizer;
  std::vector<std::u16string> widened;

 protected:
  void do_upsize(const t_ftd& column) override { widened.push_back(column.name); }
};

TEST(csv_field_upsizer, EachColumnIsWidenedOnceOnItsFirstLongValue) {
  udb_recordset table;
  for (const char16_t* name : {u"c1", u"c2", u"c3", u"c4"})
    table.schema().push_back(t_ftd(255, name, VT_BSTR, false, false, ole_variant(), 0));
  recording_upsizer upsizer(nullptr, &table);
  auto record = [](std::vector<std::u16string> texts) {
    udb_record r;
    for (auto& t : texts) r.push_back(udb_field(u"", 0, ole_variant(std::u16string_view(t))));
    return r;
  };
  const std::u16string at_limit(255, u'a'), over(256, u'b');
  std::u16string emoji;  // 128 characters of two UTF-16 units: 256 units
  for (int i = 0; i < 128; ++i) emoji += u"\U0001F600";
  for (int i = 0; i < 9; ++i) upsizer.process(record({at_limit, u"", at_limit, u"x"}));
  EXPECT_TRUE(upsizer.widened.empty());
  upsizer.process(record({u"x", u"", over, u"x"}));
  upsizer.process(record({u"x", u"", over, emoji}));
  upsizer.process(record({u"x", u"", over, emoji}));
  EXPECT_EQ(upsizer.widened, (std::vector<std::u16string>{u"c3", u"c4"}));
  // A record wider than the table widens nothing it cannot name.
  upsizer.process(record({u"", u"", u"", u"", over}));
  EXPECT_EQ(upsizer.widened.size(), 2u);
}

}  // namespace

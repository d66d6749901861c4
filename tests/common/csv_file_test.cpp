#include "csv_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "csv_field_upsizer.h"
#include "csv_record.h"
#include "error_handler.h"
#include "t_ftd.h"
#include "test_support.h"
#include "tk_exception_ex.h"
#include "tk_mail_assertion.h"
#include "tk_unicode.h"

namespace {

using rows = std::vector<std::vector<std::string>>;  // UTF-8 for readable goldens

const size_t chunk_sizes[] = {1, 2, 3, 7, 64, 65536};

std::u16string w(const std::string& utf8) { return tk_utf8_to_unicode(utf8); }
std::string u8(const std::u16string& text) { return tk_unicode_to_utf8(text); }

struct read_result {
  std::vector<std::string> columns;
  rows records;
};

read_result read_all(const std::string& path, const char16_t* delimiter, bool header, size_t buffer_size) {
  csv_file file(w(path), delimiter, header, buffer_size);
  read_result out;
  for (const auto& column : file.schema().fields) out.columns.push_back(u8(column->name));
  for (int guard = 0; !file.is_eof() && guard < 1000; ++guard) {
    const udb_record* r = file.get_record();
    std::vector<std::string> cells;
    for (size_t i = 0; i < r->size(); ++i) {
      const udb_field& f = (*r)[i];
      EXPECT_EQ(f.get_type(), VT_BSTR);
      EXPECT_EQ(f.declared_size(), f.text().size());
      // Fields carry the names of their columns.
      if (i < out.columns.size()) {
        EXPECT_EQ(u8(f.name()), out.columns[i]);
      }
      cells.push_back(u8(f.text()));
    }
    out.records.push_back(cells);
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
    EXPECT_EQ(read_all(path, delimiter, header, size).records, expected);
  }
}

TEST(csv_file_quoting, QuotesDelimitersAndLineJoining) {
  struct row {
    const char* name;
    std::string bytes;
    rows expected;
  };
  const row table[] = {
      {"quoted delimiter", "1,\"a,b\",3\n", {{"1", "a,b", "3"}}},
      {"quoted line feed joins lines", "1,\"x\ny\",2\n", {{"1", "x\ny", "2"}}},
      {"three physical lines", "\"a\nb\nc\",d\ne\n", {{"a\nb\nc", "d"}, {"e"}}},
      {"CR LF inside quotes is one LF", "1,\"x\r\ny\",2\r\n", {{"1", "x\ny", "2"}}},
      {"CR LF blank line inside quotes", "\"a\r\n\r\nb\"\r\n", {{"a\n\nb"}}},
      {"CR LF ends a line", "a,b\r\nc\r\n", {{"a", "b"}, {"c"}}},
      {"lone CR is a character", "a\rb,c\n", {{"a\rb", "c"}}},
      {"CR before CR LF stays", "a\r\r\n", {{"a\r"}}},
      {"doubled quote inside quotes", "\"a \"\"b\"\" c\"\n", {{"a \"b\" c"}}},
      {"empty quoted field", "1,\"\",3\n", {{"1", "", "3"}}},
      {"only a literal quote", "\"\"\"\"\n", {{"\""}}},
      {"quoted word in quotes", "\"\"\"a\"\"\"\n", {{"\"a\""}}},
      {"quotes inside a field", "ab\"c,d\"e\n", {{"abc,de"}}},
      {"unquoted field opens a quote across lines", "a\"b\nc\"d\n", {{"ab\ncd"}}},
      {"empty line is a record", "a\n\nb\n", {{"a"}, {""}, {"b"}}},
      {"last line without line end", "a\nb", {{"a"}, {"b"}}},
      {"final line end gives no record", "a\n", {{"a"}}},
      {"lone line end", "\n", {{""}}},
      {"empty file", "", {}},
      {"trailing delimiter", "a,\n", {{"a", ""}}},
      {"fewer fields than the schema", "a,b,c\n1\n", {{"a", "b", "c"}, {"1"}}},
      {"surplus fields dropped", "a,b\n1,2,3,4\n", {{"a", "b"}, {"1", "2"}}},
      {"surplus after a quoted delimiter", "a,b\n\"1,2\",3,4\n", {{"a", "b"}, {"1,2", "3"}}},
      {"byte-order mark kept", "\xEF\xBB\xBFid\n", {{"\xEF\xBB\xBFid"}}},
      {"4-byte characters", "\xF0\x9F\x98\x80,\xC3\xA9\n", {{"\xF0\x9F\x98\x80", "\xC3\xA9"}}},
  };
  for (const row& r : table) {
    SCOPED_TRACE(r.name);
    expect_records(r.bytes, r.expected);
  }
}

TEST(csv_file_quoting, EachDelimiter) {
  const std::string line = "a\tb;c d,e\n";
  struct row {
    int index;
    rows expected;
  };
  const row table[] = {
      {0, {{"a", "b;c d,e"}}},
      {1, {{"a\tb", "c d,e"}}},
      {2, {{"a\tb;c d", "e"}}},
      {3, {{"a\tb;c", "d,e"}}},
  };
  for (const row& r : table) {
    SCOPED_TRACE(r.index);
    expect_records(line, r.expected, csv_delimiter(r.index));
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
      {"quoted name with delimiter", "\"a,b\",c\n", true, {"a,b", "c"}},
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
      EXPECT_EQ(c->vartype, VT_BSTR);
      EXPECT_EQ(c->size, 255u);
      EXPECT_FALSE(c->b_not_null);
      EXPECT_TRUE(c->def_value.is_empty());
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
      read_result got;
      reported printed([&] { got = read_all(path, u",", false, size); });
      EXPECT_EQ(got.records, r.expected);
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
    try {
      file.move_next();
      FAIL() << "no exception";
    } catch (const tk_exception_ex& e) {
      EXPECT_EQ(e.level(), 0u);
      EXPECT_EQ(e.message(), "Cannot convert to UNICODE string: CSV file '" + path +
                                 "', line 3: " + tk_exception_ex::system_message(EILSEQ));
    }
  }
}

TEST(csv_file_decisions, UnopenableFileIsALevelOneSystemError) {
  testsupport::temp_dir dir;
  const std::string path = dir.file("missing.csv");
  try {
    csv_file file(w(path), u",", true);
    FAIL() << "no exception";
  } catch (const tk_exception_ex& e) {
    EXPECT_EQ(e.message(), "Cannot open CSV file '" + path + "': " + tk_exception_ex::system_message(ENOENT));
    EXPECT_EQ(e.level(), 1u);
    EXPECT_EQ(e.code(), static_cast<uint32_t>(ENOENT));
  }
}

TEST(csv_file_decisions, LinesOfAnyLength) {
  const std::string long_value(200000, 'x');
  const std::string part(70000, 'y');
  const std::string quoted = part + "\n" + part + "\n" + part;
  testsupport::temp_dir dir;
  testsupport::write_file(dir.file("long.csv"), long_value + ",1\n\"" + quoted + "\",2\r\nz\n");
  for (size_t size : {size_t(7), size_t(4096), csv_file::default_buffer_size}) {
    EXPECT_EQ(read_all(dir.file("long.csv"), u",", false, size).records,
              (rows{{long_value, "1"}, {quoted, "2"}, {"z"}}));
  }
}

TEST(csv_file_recordset, RecordIsReusedAndOwnedByTheFile) {
  testsupport::temp_dir dir;
  testsupport::write_file(dir.file("r.csv"), "a,b\nlonger text,2\nx,y\n");
  csv_file file(w(dir.file("r.csv")), u",", false, 3);
  udb_record* first = file.get_record();
  const udb_field* cell = &(*first)[0];
  file.move_next();
  udb_record* second = file.get_record();
  EXPECT_EQ(first, second);
  EXPECT_EQ(cell, &(*second)[0]);
  EXPECT_EQ((*second)[0].text(), u"longer text");
  const char16_t* storage = (*second)[0].text().data();
  file.move_next();
  // Shorter text reuses the same buffer.
  EXPECT_EQ(file.get_record()->operator[](0).text().data(), storage);
}

TEST(csv_file_recordset, ResetGoesBackToTheFirstLineAndMovePrevIsAnInternalError) {
  testsupport::temp_dir dir;
  testsupport::write_file(dir.file("r.csv"), "h\na\nb\n");
  csv_file file(w(dir.file("r.csv")), u",", true);
  while (!file.is_eof()) file.move_next();
  EXPECT_THROW(file.move_prev(), tk_mail_assertion);
  // reset goes back to the first physical line, header included.
  file.reset();
  EXPECT_FALSE(file.is_eof());
  file.move_next();
  EXPECT_EQ(file.get_record()->operator[](0).text(), u"h");
}

TEST(csv_file_writer, WritesQuotedFieldsThatReadBack) {
  testsupport::temp_dir dir;
  testsupport::write_file(dir.file("h.csv"), "a,b,c,d,e\n");
  csv_file file(w(dir.file("h.csv")), u",", true);
  udb_record r;
  r.push_back(udb_field(u"a", 0, ole_variant(u"say \"hi\"")));
  r.push_back(udb_field(u"b", 0, ole_variant(u"x,y")));
  r.push_back(udb_field(u"c", 0, ole_variant(u"line\nbreak \u00e9")));
  r.push_back(udb_field(u"d", 0, ole_variant(12.0)));
  r.push_back(udb_field(u"e", 0, ole_variant(1.5)));
  try {
    file.append_record(r);
    FAIL() << "no exception";
  } catch (const tk_exception& e) {
    EXPECT_EQ(e.message(), "Error opening CSV file");
  }
  file.open_output(w(dir.file("out.csv")));
  file.append_record(r);
  EXPECT_EQ(testsupport::read_file(dir.file("out.csv")),
            "\"say \"\"hi\"\"\",\"x,y\",\"line\nbreak \xC3\xA9\",12,1.500000\n");
  EXPECT_EQ(read_all(dir.file("out.csv"), u",", false, 5).records,
            (rows{{"say \"hi\"", "x,y", "line\nbreak \xC3\xA9", "12", "1.500000"}}));
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
  upsizer.process(record({u"x", u"", over + over, u"x"}));
  upsizer.process(record({u"x", u"", over, emoji}));
  upsizer.process(record({u"x", u"", over, emoji}));
  EXPECT_EQ(upsizer.widened, (std::vector<std::u16string>{u"c3", u"c4"}));
  // A record wider than the table widens nothing it cannot name.
  upsizer.process(record({u"", u"", u"", u"", over}));
  EXPECT_EQ(upsizer.widened.size(), 2u);
}

}  // namespace

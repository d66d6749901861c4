// The spreadsheet reader: worksheet listing and plain names, the sheet
// map's order, selection by name, and opening for the conversion.
#include "xls_reader.h"

#include "sources_test_support.h"
#include "udb_recordset.h"

using namespace sources_test;

namespace {

// The reader with its state in reach, as the driver has it.
class reader : public xls_reader {
 public:
  using udb_converter::selected_entries_;
  using xls_reader::sheets_;
};

// A database whose table list is given, for names no workbook produces.
class listed_database : public udb_database {
 public:
  explicit listed_database(const std::vector<std::u16string>& tables) : udb_database(u"listed", 1) {
    for (const auto& t : tables) add_table_name(t);
  }
};

using names = std::vector<std::u16string>;
using sheet_pairs = std::vector<std::pair<std::u16string, std::u16string>>;

sheet_pairs pairs(const xls_sheet_map& map) { return sheet_pairs(map.begin(), map.end()); }

// Runs `call` and returns what it wrote to stderr.
template <class F>
std::string stderr_of(F call) {
  testing::internal::CaptureStderr();
  call();
  return testing::internal::GetCapturedStderr();
}

}  // namespace

TEST(xls_reader, ListsTheWorksheetsInWorkbookOrderUnderPlainNames) {
  reader r;
  r.set_source(wide(fixture("xls", "sheets.xls")));
  names listed = {u"left over"};
  ASSERT_TRUE(r.get_all_sheets(listed));
  // The engine doubles an apostrophe inside a quoted name; the plain name keeps it so.
  EXPECT_EQ(listed, (names{u"Z", u"a", u"My Data", u"O''Brien", u"Hidden", u"b", u"Sales-2024", u"\u00dcbersicht"}));
  // Upper case before lower case: Z, then a, then b.
  const sheet_pairs expected = {{u"Hidden", u"Hidden$"},
                                {u"My Data", u"'My Data$'"},
                                {u"O''Brien", u"'O''Brien$'"},
                                {u"Sales-2024", u"'Sales-2024$'"},
                                {u"Z", u"Z$"},
                                {u"a", u"a$"},
                                {u"b", u"b$"},
                                {u"\u00dcbersicht", u"\u00dcbersicht$"}};
  EXPECT_EQ(pairs(r.sheet_map()), expected);
  // The listing's engine lived only during the call.
  EXPECT_EQ(dao_engine::instance_ptr(), nullptr);

  // Selected by its plain name, the sheet reads through its engine name.
  EXPECT_EQ(stderr_of([&] { r.set_sel_sheets1({u"O''Brien"}); }), "");
  engine_scope scope;
  auto db = r.open_xls(r.source(), false);
  EXPECT_EQ(read_texts(*db, r.sheet_map().at(u"O''Brien")), (std::vector<std::vector<std::string>>{{"O'Brien"}}));
}

TEST(xls_reader, OnlyTablesEndingInDollarAreWorksheets) {
  reader r;
  r.sheets_ = {{u"stale", u"stale$"}};
  const listed_database db({u"Sheet1$", u"'My Data$'", u"Print_Area", u"'Q1$'Print_Area", u"' Totals $'", u"$",
                            u"'Sheet1$'", u"x$'", u"Data$Set"});
  names listed;
  r.get_all_sheets(db, listed);
  // "x$'" is kept (it ends with "$'") but, not being enclosed, keeps its marks.
  EXPECT_EQ(listed, (names{u"Sheet1", u"My Data", u"Totals", u"Sheet1", u"x$'"}));
  // For a plain name listed twice the first table wins.
  const sheet_pairs expected = {
      {u"My Data", u"'My Data$'"}, {u"Sheet1", u"Sheet1$"}, {u"Totals", u"' Totals $'"}, {u"x$'", u"x$'"}};
  EXPECT_EQ(pairs(r.sheet_map()), expected);
}

TEST(xls_reader, SimplifyName) {
  struct row {
    const char16_t* engine;
    const char16_t* plain;
  };
  const row rows[] = {
      {u"Sheet1$", u"Sheet1"},
      {u"'My Data$'", u"My Data"},
      {u"' Totals $'", u"Totals"},
      {u"'O''Brien$'", u"O''Brien"},
      {u"'x'", u"x"},         // apostrophes go even without a dollar sign
      {u"''", u"''"},         // too short to be enclosed
      {u"'$'", u"$"},         // a lone "$" stays
      {u"$$", u"$"},          // only the last one goes
      {u"a$ ", u"a$"},        // the dollar sign must be last
      {u"  x  $", u"x"},      // spaces go after the dollar sign
      {u"\tTab$", u"\tTab"},  // only U+0020 is a space here
      {u"Q1$'Print_Area", u"Q1$'Print_Area"},
  };
  for (const row& r : rows) EXPECT_EQ(xls_reader::simplify_name(r.engine), r.plain) << narrow(r.engine);
}

TEST(xls_reader, SelectionIsCaseSensitiveAndReportsMissingNames) {
  reader r;
  const listed_database db({u"Sheet1$", u"Sheet2$", u"'My Data$'"});
  names all;
  r.get_all_sheets(db, all);
  r.selected_entries_ = {{u"old", u"SELECT 1"}};
  const std::string err = stderr_of([&] { r.set_sel_sheets1({u"Sheet2", u"sheet1", u"My Data"}); });
  EXPECT_EQ(err, "Worksheet sheet1 not found\n");
  EXPECT_EQ(pairs(r.sheet_map()), (sheet_pairs{{u"My Data", u"'My Data$'"}, {u"Sheet2", u"Sheet2$"}}));
  ASSERT_EQ(r.selected_entries().size(), 2u);
  EXPECT_EQ(r.selected_entries()[0].name, u"Sheet2");
  EXPECT_EQ(r.selected_entries()[1].name, u"My Data");
  EXPECT_TRUE(r.selected_entries()[1].query.empty());

  // Nothing that matches leaves nothing selected; a silent run says nothing.
  r.get_all_sheets(db, all);
  r.set_silent(true);
  EXPECT_EQ(stderr_of([&] { r.set_sel_sheets1({u"SHEET1", u"Nope"}); }), "");
  EXPECT_TRUE(r.sheet_map().empty());
  EXPECT_TRUE(r.selected_entries().empty());
}

TEST(xls_reader, SelectionFromHeldEntriesLeavesTheListAsItIs) {
  reader r;
  const listed_database db({u"b$", u"a$", u"Z$"});
  names all;
  r.get_all_sheets(db, all);
  const std::vector<udb_selection> entries = {{u"Z", u""}, {u"missing", u"SELECT * FROM x"}, {u"a", u"q"}};
  r.selected_entries_ = entries;
  EXPECT_EQ(stderr_of([&] { r.set_sel_sheets2(r.selected_entries()); }), "Worksheet missing not found\n");
  EXPECT_EQ(pairs(r.sheet_map()), (sheet_pairs{{u"Z", u"Z$"}, {u"a", u"a$"}}));
  ASSERT_EQ(r.selected_entries().size(), entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(r.selected_entries()[i].name, entries[i].name);
    EXPECT_EQ(r.selected_entries()[i].query, entries[i].query);
  }
}

TEST(xls_reader, HeaderFlagChoosesTheConversionConnectString) {
  book b;
  lxw_worksheet* s = b.sheet("People");
  worksheet_write_string(s, 0, 0, "Name", nullptr);
  worksheet_write_string(s, 1, 0, "Ann", nullptr);
  reader r;
  r.set_source(wide(b.close()));
  names listed;
  ASSERT_TRUE(r.get_all_sheets(listed));  // the listing never takes the first row as names
  engine_scope scope;
  struct row {
    bool header;
    const char16_t* column;
    std::vector<std::vector<std::string>> rows;
  };
  const row rows[] = {{true, u"Name", {{"Ann"}}}, {false, u"F1", {{"Name"}, {"Ann"}}}};
  for (const row& x : rows) {
    auto db = r.open_xls(r.source(), x.header);
    auto rs = db->get_table(r.sheet_map().at(u"People"), 1);
    EXPECT_EQ(rs->schema().fields.at(0)->name, x.column);
    EXPECT_EQ(read_texts(*db, u"People$"), x.rows);
  }
}

TEST(xls_reader, ListingFailuresCarryTheEngineCodes) {
  testsupport::temp_dir dir;
  testsupport::write_file(dir.file("cut.xlsx"), "PK\x03\x04 cut short");
  // A registered engine stays the registered one through the listing.
  dao_engine outer;
  reader r;
  r.set_source(wide(dir.file("cut.xlsx")));
  names listed = {u"left over"};
  expect_failure([&] { r.get_all_sheets(listed); }, 0, 68810, "External table is not in the expected format.");
  EXPECT_TRUE(listed.empty());
  EXPECT_EQ(dao_engine::instance_ptr(), &outer);
}

TEST(xls_reader, OpenForConversionNeedsTheRegisteredEngine) {
  reader r;
  expect_assertion([&] { r.open_xls(u"/any.xlsx", false); }, "tk_singl");
  engine_scope scope;
  expect_failure([&] { r.open_xls(u"/nowhere/book.xlsx", true); }, 0, 68560,
                 "Could not find file '/nowhere/book.xlsx'.");
}

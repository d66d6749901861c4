// The workbook access layer and the spreadsheet reader (sources/): the
// errors of an engine whose error collection cannot be read, record reuse
// without allocation, and the worksheets' plain names. What a workbook run
// proves end to end (value kinds and column types, sheet order, selection
// and its messages, open failures) is in tests/agent; what the engine
// decides, in tests/host.
#include <gtest/gtest.h>

#include <utility>

#include "allocation_count.h"
#include "dao_database.h"
#include "dao_engine.h"
#include "dao_exception.h"
#include "dao_recordset.h"
#include "expect_failure.h"
#include "test_support.h"
#include "tk_unicode.h"
#include "wb_error_list.h"
#include "workbook_files.h"
#include "xls_reader.h"

using testsupport::expect_failure;

namespace {

// The reader with its state in reach, as the driver has it.
class reader : public xls_reader {
 public:
  using xls_reader::sheets_;
};

using names = std::vector<std::u16string>;
using sheet_pairs = std::vector<std::pair<std::u16string, std::u16string>>;
sheet_pairs pairs(const xls_sheet_map& map) { return sheet_pairs(map.begin(), map.end()); }

// A database whose table list is given, for names no workbook produces.
class listed_database : public udb_database {
 public:
  explicit listed_database(const std::vector<std::u16string>& tables) : udb_database(u"listed", 1) {
    for (const auto& t : tables) add_table_name(t);
  }
};

}  // namespace

// The engine's collection is read when a call fails; when it cannot be
// (none, empty, an entry without number), the failure is a level-1 error.
TEST(dao_engine, UnreadableErrorCollectionRaisesALevelOneError) {
  const std::string unreadable = "Failed to read the error of the workbook engine (step #";
  wb_error_list list;
  expect_failure([] { throw dao_exception(static_cast<const wb_error_list*>(nullptr)); }, 1, 0, unreadable + "1)");
  expect_failure([&] { throw dao_exception(&list); }, 1, 0, unreadable + "2)");
  list.raise(0);
  expect_failure([&] { throw dao_exception(&list); }, 1, 0, unreadable + "4)");
  list.raise(3251);
  expect_failure<dao_exception>([&] { throw dao_exception(&list); }, 0, 68787,
                                "Operation is not supported for this type of object.");
}

// A number must not allocate; a text reuses its field's storage.
TEST(dao_recordset, GetRecordRefillsTheSameRecordWithoutAllocating) {
  testsupport::xlsx_book b("", true);
  lxw_worksheet* s = b.sheet("Rows");
  b.sheet("Nothing");
  constexpr lxw_row_t rows = 200;
  // The longest text first: later texts fit the field's buffer.
  auto text = [](lxw_row_t r) { return r == 0 ? std::string(120, 'w') : "row number " + std::to_string(r); };
  for (lxw_row_t r = 0; r < rows; ++r) {
    worksheet_write_string(s, r, 0, text(r).c_str(), nullptr);
    worksheet_write_number(s, r, 1, r * 0.5, nullptr);
  }
  dao_engine engine;  // registered, of the version the driver prefers
  ASSERT_TRUE(engine.set_version_if(3));
  auto db = engine.open_dao_src(tk_utf8_to_unicode(b.close()), xls_reader::connect_string(false), 1);
  EXPECT_TRUE(db->get_table(u"Nothing$", 1)->is_eof());
  auto rs = db->get_table(u"Rows$", 1);
  udb_record* first = rs->get_record();
  lxw_row_t r = 0;
  for (; !rs->is_eof(); rs->move_next(), ++r) {
    const long before = allocations;
    udb_record* rec = rs->get_record();
    ASSERT_EQ(std::pair(allocations - before, rec), std::pair(0L, first)) << r;
    // Every row's own values, not the first row's.
    EXPECT_EQ(std::pair(tk_unicode_to_utf8((*rec)[0].text()), (*rec)[1].get_r8()), std::pair(text(r), r * 0.5));
  }
  EXPECT_EQ(r, rows);
}

// The worksheets' plain names: enclosing apostrophes, the last "$" and the
// spaces (U+0020 only) around the name go.
TEST(xls_reader, OnlyTablesEndingInDollarAreWorksheetsUnderTheirPlainNames) {
  reader r;
  r.sheets_ = {{u"stale", u"stale$"}};
  names listed;
  r.get_all_sheets(listed_database({u"Sheet1$", u"'My Data$'", u"Print_Area", u"'Q1$'Print_Area", u"' Totals $'", u"$",
                                    u"'Sheet1$'", u"x$'", u"Data$Set", u"'$'", u"$$", u"\tTab  $"}),
                   listed);
  // "x$'" is kept (it ends with "$'") but, not being enclosed, keeps its marks.
  EXPECT_EQ(listed, (names{u"Sheet1", u"My Data", u"Totals", u"Sheet1", u"x$'", u"$", u"$", u"\tTab"}));
  // For a plain name listed twice the first table wins.
  EXPECT_EQ(pairs(r.sheet_map()), (sheet_pairs{{u"\tTab", u"\tTab  $"},
                                               {u"$", u"'$'"},
                                               {u"My Data", u"'My Data$'"},
                                               {u"Sheet1", u"Sheet1$"},
                                               {u"Totals", u"' Totals $'"},
                                               {u"x$'", u"x$'"}}));
}

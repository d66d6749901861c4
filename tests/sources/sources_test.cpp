// The workbook access layer and the spreadsheet reader (sources/): the
// engine-version table and the engine's errors, worksheet tables with each
// value kind in its variant type, record reuse and navigation, and the
// reader's worksheet listing, plain names and selection. Workbooks are
// written by libxlsxwriter or taken from the committed fixtures. What the
// engine decides (types, dates, texts) is tested in tests/host; the sheet
// order, the selection's messages and the values at their limits are shown
// end to end in tests/agent.
#include <gtest/gtest.h>
#include <xlsxwriter.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <new>
#include <stdexcept>
#include <tuple>
#include <utility>

#include "dao_database.h"
#include "dao_engine.h"
#include "dao_exception.h"
#include "dao_recordset.h"
#include "test_support.h"
#include "tk_unicode.h"
#include "wb_error_list.h"
#include "xls_reader.h"

namespace {

// Counts heap allocations while `g_counting` is set, to prove that
// get_record refills its record without allocating.
bool g_counting = false;
long g_allocations = 0;

const std::u16string hdr_no = xls_reader::connect_string(false);

std::u16string wide(const std::string& utf8) { return tk_utf8_to_unicode(utf8); }
std::string narrow(std::u16string_view text) { return tk_unicode_to_utf8(text); }

// A workbook written by libxlsxwriter; close() writes it and returns its path.
struct book {
  explicit book(bool constant_memory = false) {
    lxw_workbook_options options = {};
    options.constant_memory = constant_memory ? LXW_TRUE : LXW_FALSE;
    if (!(handle = workbook_new_opt(path.c_str(), &options))) throw std::runtime_error("workbook_new_opt failed");
  }
  ~book() { close(); }
  lxw_worksheet* sheet(const char* name) { return workbook_add_worksheet(handle, name); }
  lxw_format* format(const char* num_format) {
    lxw_format* f = workbook_add_format(handle);
    format_set_num_format(f, num_format);
    return f;
  }
  const std::string& close() {
    if (handle && workbook_close(std::exchange(handle, nullptr)) != LXW_NO_ERROR) ADD_FAILURE() << "workbook_close";
    return path;
  }
  testsupport::temp_dir dir;
  std::string path = dir.file("book.xlsx");
  lxw_workbook* handle = nullptr;
};

// A registered engine of the preferred version, as the driver builds it.
struct engine_scope {
  engine_scope() { EXPECT_TRUE(engine.set_version_if(3)); }
  dao_engine engine;
};

// Runs `call` and checks the tk_exception it must raise: exactly this level,
// code and message; for an internal error (level 2) of `source`, `message`
// is the source's name, which the message's code gives in hex.
void expect_failure(const std::function<void()>& call, unsigned level, uint32_t code, std::string message) {
  if (level == 2) {
    std::string prefix = "Internal error: \ncode=";
    char hex[4];
    for (char c : message + "\\") std::snprintf(hex, sizeof hex, "%x", static_cast<unsigned char>(c)), prefix += hex;
    message = prefix;
  }
  try {
    call();
    ADD_FAILURE() << "no exception; expected: " << message;
  } catch (const tk_exception& e) {
    EXPECT_EQ(e.level(), level) << e.what();
    EXPECT_EQ(e.code(), code) << e.what();
    EXPECT_EQ(level == 2 ? e.message().substr(0, message.size()) : e.message(), message);
  }
}
void expect_assertion(const std::function<void()>& call, const std::string& source) {
  expect_failure(call, 2, 0, source);
}

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
sheet_pairs selection(const reader& r) {
  sheet_pairs entries;
  for (const udb_selection& e : r.selected_entries()) entries.emplace_back(e.name, e.query);
  return entries;
}

// The first column of every row of a worksheet.
std::vector<std::string> first_column(dao_database& database, const std::u16string& table) {
  std::vector<std::string> texts;
  for (auto rs = database.get_table(table, 1); !rs->is_eof(); rs->move_next())
    texts.push_back((*rs->get_record())[0].to_string());
  return texts;
}

}  // namespace

// The replacements pair malloc with free; GCC cannot see that through the
// inlined standard containers and warns.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void* operator new(std::size_t size) {
  if (g_counting) ++g_allocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { ::operator delete(p); }

TEST(dao_engine, VersionTableCreatesAceAndDao36ButNotDao35) {
  dao_engine engine;
  EXPECT_EQ(engine.version(), dao_engine::no_version);
  // Each row also replaces what the row before left.
  const std::pair<int32_t, bool> rows[] = {{3, true}, {1, false}, {0, true}, {2, false}};
  for (const auto& [id, created] : rows) {
    SCOPED_TRACE(id);
    EXPECT_EQ(engine.set_version_if(id), created);
    EXPECT_EQ(std::tuple(engine.has_engine(), engine.version(), engine.errors() != nullptr),
              std::tuple(created, created ? id : dao_engine::no_version, created));
  }
  // Ids just outside the table, and opening without an engine object.
  expect_assertion([&] { engine.set_version_if(4); }, "dao_engi");
  expect_assertion([&] { engine.set_version_if(-1); }, "dao_engi");
  expect_assertion([&] { engine.open_dao_src(u"/nowhere.xlsx", hdr_no, 1); }, "dao_engi");
}

TEST(dao_engine, OpenedDatabaseAndOpenFailures) {
  book b;
  worksheet_write_number(b.sheet("Data"), 0, 0, 1, nullptr);
  const std::u16string path = wide(b.close());
  engine_scope scope;
  std::unique_ptr<dao_database> db = scope.engine.open_dao_src(path, hdr_no, 1u | 16u);
  EXPECT_EQ(db->mode(), 1u | 16u | 32u);
  EXPECT_EQ(db->name(), path);
  EXPECT_EQ(db->tables(), std::vector<std::u16string>{u"Data$"});

  // Missing and unreadable files are in the reader's tests. The registered
  // engine's collection gives the same exception.
  const std::string encrypted = std::string(SOURCES_TEST_DATA_DIR) + "/xlsx/encrypted_secret.xlsx";
  expect_failure([&] { scope.engine.open_dao_src(wide(encrypted), hdr_no, 1); }, 0, 68697, "Could not decrypt file.");
  expect_failure([] { throw dao_exception(); }, 0, 68697, "Could not decrypt file.");
  // The workbook is fine, but the connect string names no Excel driver.
  const std::string isam = "Could not find installable ISAM.";
  expect_failure([&] { scope.engine.open_dao_src(path, u";pwd=secret", 1); }, 0, 68706, isam);
  expect_failure([] { throw dao_exception(); }, 0, 68706, isam);
  expect_failure([&] { scope.engine.open_db(path, 1); }, 0, 68706, isam);
}

TEST(dao_engine, UnreadableErrorCollectionRaisesALevelOneError) {
  const std::string unreadable = "Failed to read the error of the workbook engine (step #";
  wb_error_list list;
  expect_failure([] { throw dao_exception(static_cast<const wb_error_list*>(nullptr)); }, 1, 0, unreadable + "1)");
  expect_failure([&] { throw dao_exception(&list); }, 1, 0, unreadable + "2)");
  list.raise(0);
  expect_failure([&] { throw dao_exception(&list); }, 1, 0, unreadable + "4)");
  list.raise(3251);
  expect_failure([&] { throw dao_exception(&list); }, 0, 68787, "Operation is not supported for this type of object.");
  // Without a registered engine, or with one that has no engine object yet.
  expect_failure([] { throw dao_exception(); }, 1, 0, unreadable + "1)");
  dao_engine engine;
  expect_failure([] { throw dao_exception(); }, 1, 0, unreadable + "1)");
}

// One row of each value kind, and an empty sheet; the values of every kind
// at their limits are compared end to end in tests/agent.
TEST(dao_recordset, EachValueKindArrivesInItsVariantTypeWithTheSchema) {
  book b;
  lxw_worksheet* s = b.sheet("My Kinds");
  b.sheet("Nothing");
  const char* headers[] = {"When", "Clock", "Stamp", "Midnight", "Price", "Ratio", "Flag", "Name", "Notes", "Empty"};
  for (lxw_col_t c = 0; c < 10; ++c) worksheet_write_string(s, 0, c, headers[c], nullptr);
  const char* formats[] = {"yyyy-mm-dd", "hh:mm:ss", "yyyy-mm-dd hh:mm:ss", "hh:mm"};
  lxw_datetime dates[] = {{9999, 12, 31, 0, 0, 0}, {0, 0, 0, 8, 30, 0}, {2024, 2, 29, 13, 45, 30}, {}};
  for (lxw_col_t c = 0; c < 4; ++c) worksheet_write_datetime(s, 1, c, &dates[c], b.format(formats[c]));
  worksheet_write_number(s, 1, 4, -1234.5678, b.format("$#,##0.00"));
  worksheet_write_number(s, 1, 5, 0.125, nullptr);
  worksheet_write_boolean(s, 1, 6, 1, nullptr);
  worksheet_write_string(s, 1, 7, "plain", nullptr);
  worksheet_write_string(s, 1, 8, std::string(300, 'n').c_str(), nullptr);
  engine_scope scope;
  auto db = scope.engine.open_dao_src(wide(b.close()), xls_reader::connect_string(true), 1);
  EXPECT_EQ(db->tables(), (std::vector<std::u16string>{u"'My Kinds$'", u"Nothing$"}));
  // The engine would find this; the table list decides.
  expect_assertion([&] { db->get_table(u"'my kinds$'", 1); }, "dao_db");
  auto empty = db->get_table(u"Nothing$", 1);
  EXPECT_EQ(static_cast<dao_recordset&>(*empty).record_count(), 0);
  empty->reset();  // nothing to go back to
  EXPECT_TRUE(empty->is_eof());
  expect_assertion([&] { empty->get_record(); }, "dao_recs");

  auto rs = db->get_table(u"'My Kinds$'", 1);
  const struct {
    VARTYPE vartype;
    uint32_t size, reserved;
  } expected[] = {{VT_DATE, 8, dao_date_kind::date},
                  {VT_DATE, 8, dao_date_kind::time},
                  {VT_DATE, 8, dao_date_kind::date_time},
                  {VT_DATE, 8, dao_date_kind::time},
                  {VT_CY, 8, 0},
                  {VT_R8, 8, 0},
                  {VT_BOOL, 1, 0},
                  {VT_BSTR, 255, 0},
                  {VT_BSTR, 0, 0},
                  {VT_BSTR, 255, 0}};
  // Midnight prints as the date; a time of day carries the zero date.
  const std::string texts[] = {"9999-12-31",
                               "0000-00-00 08:30:00",
                               "2024-02-29 13:45:30",
                               "00:00:00",
                               "-1234.5678",
                               "1.2500000000000000e-01",
                               "1",
                               "plain",
                               std::string(300, 'n'),
                               "<NULL>"};
  const udb_schema& schema = rs->schema();
  ASSERT_EQ(schema.size(), std::size(expected));
  EXPECT_EQ(static_cast<dao_recordset&>(*rs).record_count(), 1);
  const udb_record& rec = *rs->get_record();
  ASSERT_EQ(rec.size(), schema.size());
  for (std::size_t c = 0; c < schema.size(); ++c) {
    SCOPED_TRACE(headers[c]);
    const t_ftd& f = *schema.fields[c];
    const auto& want = expected[c];
    EXPECT_EQ(std::tuple(narrow(f.name), f.vartype, f.size, f.reserved, f.b_not_null),
              std::tuple(headers[c], want.vartype, want.size, want.reserved, false));
    EXPECT_EQ(
        std::tuple(rec[c].is_null() ? "<NULL>" : rec[c].to_string(), narrow(rec[c].name()), rec[c].declared_size()),
        std::tuple(texts[c], headers[c], want.size));
    if (rec[c].is_null()) continue;
    EXPECT_EQ(std::pair(rec[c].get_type(), rec[c].to_wstring()), std::pair(want.vartype, wide(texts[c])));
  }
}

// A number must not allocate; a text reuses its field's storage. Then the
// navigation: forward only, an error at the end, back to the start.
TEST(dao_recordset, GetRecordRefillsTheSameRecordWithoutAllocating) {
  book b(true);
  lxw_worksheet* s = b.sheet("Rows");
  constexpr lxw_row_t rows = 200;
  // The longest text first: later texts fit the field's buffer.
  auto text = [](lxw_row_t r) { return r == 0 ? std::string(120, 'w') : "row number " + std::to_string(r); };
  for (lxw_row_t r = 0; r < rows; ++r) {
    worksheet_write_string(s, r, 0, text(r).c_str(), nullptr);
    worksheet_write_number(s, r, 1, r * 0.5, nullptr);
  }
  engine_scope scope;
  auto db = scope.engine.open_dao_src(wide(b.close()), hdr_no, 1);
  auto rs = db->get_table(u"Rows$", 1);
  udb_record* first = rs->get_record();
  lxw_row_t r = 0;
  for (; !rs->is_eof(); rs->move_next(), ++r) {
    g_allocations = 0;
    g_counting = true;
    udb_record* rec = rs->get_record();
    g_counting = false;
    ASSERT_EQ(std::pair(g_allocations, rec), std::pair(0L, first)) << r;
    // Every row's own values, not the first row's.
    EXPECT_EQ(std::pair(narrow((*rec)[0].text()), (*rec)[1].get_r8()), std::pair(text(r), r * 0.5));
  }
  EXPECT_EQ(r, rows);
  expect_assertion([&] { rs->get_record(); }, "dao_recs");
  expect_failure([&] { rs->move_next(); }, 0, 68557,
                 "Either BOF or EOF is True, or the current record has been deleted. Requested operation requires a "
                 "current record.");
  rs->reset();
  rs->move_next();
  expect_failure([&] { rs->move_prev(); }, 0, 68787, "Operation is not supported for this type of object.");
  EXPECT_EQ((*rs->get_record())[1].get_r8(), 0.5);
  rs->reset();
  EXPECT_EQ((*rs->get_record())[1].get_r8(), 0.0);
}

TEST(dao_recordset, ColumnKindFromDaoTypeAndFormat) {
  const struct {
    int16_t dao_type;
    int32_t size;
    const char16_t* format;
    VARTYPE vartype;
    uint32_t size_out, reserved;
  } rows[] = {
      // Date kinds from the "Format" property, matched exactly.
      {8, 8, u"Medium Date", VT_DATE, 8, 2},
      {8, 8, u"short date", VT_DATE, 8, 1},
      {8, 8, u"General Date", VT_DATE, 8, 1},
      {22, 8, u"Short Time", VT_DATE, 8, 3},
      // Other types ignore the format; a type without a variant of its own is a byte array.
      {7, 8, u"Short Date", VT_R8, 8, 0},
      {11, 0, u"", VT_ARRAY_UI1, 0, 0},
      // A GUID column is text of its braced form; an attachment keeps its type number.
      {15, 16, u"", VT_BSTR, 38, 1},
      {101, 4, u"", VT_ARRAY_UI1, 0, 101},
  };
  for (const auto& r : rows) {
    const dao_detail::column_kind k = dao_detail::classify_column(r.dao_type, r.size, r.format);
    EXPECT_EQ(std::tuple(k.vartype, k.size, k.reserved), std::tuple(r.vartype, r.size_out, r.reserved))
        << r.dao_type << " " << narrow(r.format);
  }
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

TEST(xls_reader, SelectionNarrowsTheSheetMapAndFillsOrKeepsTheSelectionList) {
  reader r;
  const listed_database db({u"b$", u"'My Data$'", u"Z$"});
  names all;
  r.get_all_sheets(db, all);
  r.selected_entries_ = {{u"old", u"SELECT 1"}};
  r.set_silent(true);
  r.set_sel_sheets1({u"b", u"z", u"My Data"});
  EXPECT_EQ(pairs(r.sheet_map()), (sheet_pairs{{u"My Data", u"'My Data$'"}, {u"b", u"b$"}}));
  EXPECT_EQ(selection(r), (sheet_pairs{{u"b", u""}, {u"My Data", u""}}));

  // Held (name, query) entries select the same way and stay as they are.
  r.get_all_sheets(db, all);
  r.selected_entries_ = {{u"Z", u""}, {u"missing", u"SELECT * FROM x"}, {u"b", u"q"}};
  r.set_sel_sheets2(r.selected_entries());
  EXPECT_EQ(pairs(r.sheet_map()), (sheet_pairs{{u"Z", u"Z$"}, {u"b", u"b$"}}));
  EXPECT_EQ(selection(r), (sheet_pairs{{u"Z", u""}, {u"missing", u"SELECT * FROM x"}, {u"b", u"q"}}));
}

TEST(xls_reader, ListingReadsTheFirstRowAsDataAndTheHeaderFlagChoosesForTheConversion) {
  book b;
  lxw_worksheet* s = b.sheet("People");
  worksheet_write_string(s, 0, 0, "Name", nullptr);
  worksheet_write_string(s, 1, 0, "Ann", nullptr);
  reader r;
  r.set_source(wide(b.close()));
  names listed = {u"left over"};
  ASSERT_TRUE(r.get_all_sheets(listed));
  EXPECT_EQ(listed, names{u"People"});
  // The listing's engine lived only during the call.
  EXPECT_EQ(dao_engine::instance_ptr(), nullptr);
  engine_scope scope;
  EXPECT_EQ(first_column(*r.open_xls(r.source(), true), u"People$"), std::vector<std::string>{"Ann"});
  EXPECT_EQ(first_column(*r.open_xls(r.source(), false), u"People$"), (std::vector<std::string>{"Name", "Ann"}));
}

TEST(xls_reader, ListingAndOpeningFailures) {
  testsupport::temp_dir dir;
  testsupport::write_file(dir.file("cut.xlsx"), "PK\x03\x04 cut short");
  reader r;
  expect_assertion([&] { r.open_xls(u"/any.xlsx", false); }, "tk_singl");
  // A registered engine stays the registered one through the listing.
  engine_scope outer;
  r.set_source(wide(dir.file("cut.xlsx")));
  names listed = {u"left over"};
  expect_failure([&] { r.get_all_sheets(listed); }, 0, 68810, "External table is not in the expected format.");
  EXPECT_TRUE(listed.empty());
  EXPECT_EQ(dao_engine::instance_ptr(), &outer.engine);
  expect_failure([&] { r.open_xls(u"/nowhere/book.xlsx", true); }, 0, 68560,
                 "Could not find file '/nowhere/book.xlsx'.");
}

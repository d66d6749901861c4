// Worksheet tables through the access layer: the schema built from the
// engine's fields, the values of get_record compared with what the writer
// was given, record reuse, and navigation.
#include "dao_recordset.h"

#include <cstdlib>
#include <new>

#include "dao_field.h"
#include "sources_test_support.h"

using namespace sources_test;

// Counts heap allocations while `g_counting` is set, to prove that
// get_record refills its record without allocating.
namespace {
bool g_counting = false;
long g_allocations = 0;
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

namespace {

lxw_datetime dt(int y, int m, int d, int hh = 0, int mm = 0, double ss = 0) {
  return lxw_datetime{y, m, d, hh, mm, ss};
}

// One sheet with a header row and a column of each kind the engine
// reports; the expected values below are what is written here.
std::string write_kinds(book& b) {
  lxw_worksheet* s = b.sheet("Kinds");
  lxw_format* date = b.format("yyyy-mm-dd");
  lxw_format* time = b.format("hh:mm:ss");
  lxw_format* stamp = b.format("yyyy-mm-dd hh:mm:ss");
  lxw_format* money = b.format("$#,##0.00");
  const char* headers[] = {"When", "Clock", "Stamp", "Price", "Ratio", "Flag", "Name", "Notes", "Mixed", "Empty"};
  for (int c = 0; c < 10; ++c) worksheet_write_string(s, 0, static_cast<lxw_col_t>(c), headers[c], nullptr);

  lxw_datetime when[] = {dt(2024, 2, 29), dt(1900, 1, 1), dt(9999, 12, 31)};
  lxw_datetime clock[] = {dt(0, 0, 0, 8, 30, 0), dt(0, 0, 0, 0, 0, 0), dt(0, 0, 0, 23, 59, 59)};
  lxw_datetime stamps[] = {dt(2024, 2, 29, 13, 45, 30), dt(2000, 1, 1, 0, 0, 0), dt(1999, 12, 31, 23, 59, 59)};
  const double prices[] = {1234.5678, -0.01, 0};
  const double ratios[] = {0.125, -1e20, 3};
  const int flags[] = {1, 0, 1};
  for (int r = 0; r < 3; ++r) {
    const lxw_row_t row = static_cast<lxw_row_t>(r + 1);
    worksheet_write_datetime(s, row, 0, &when[r], date);
    worksheet_write_datetime(s, row, 1, &clock[r], time);
    worksheet_write_datetime(s, row, 2, &stamps[r], stamp);
    worksheet_write_number(s, row, 3, prices[r], money);
    worksheet_write_number(s, row, 4, ratios[r], nullptr);
    worksheet_write_boolean(s, row, 5, flags[r], nullptr);
  }
  worksheet_write_string(s, 1, 6, "plain", nullptr);
  worksheet_write_string(s, 2, 6, "line1\nline2", nullptr);
  lxw_format* bold = workbook_add_format(b.handle());
  format_set_bold(bold);
  char bold_text[] = "bold", plain_text[] = " and plain";
  lxw_rich_string_tuple f1 = {.format = bold, .string = bold_text};
  lxw_rich_string_tuple f2 = {.format = nullptr, .string = plain_text};
  lxw_rich_string_tuple* rich[] = {&f1, &f2, nullptr};
  worksheet_write_rich_string(s, 3, 6, rich, nullptr);
  worksheet_write_string(s, 1, 7, std::string(300, 'n').c_str(), nullptr);
  worksheet_write_string(s, 3, 7, "short", nullptr);
  worksheet_write_number(s, 1, 8, 42, nullptr);
  worksheet_write_string(s, 2, 8, "abc", nullptr);
  worksheet_write_number(s, 3, 8, 1.5, nullptr);
  return b.close();
}

std::unique_ptr<udb_recordset> open_table(dao_database& db, const std::u16string& name) {
  std::unique_ptr<udb_recordset> rs = db.get_table(name, 1);
  EXPECT_NE(dynamic_cast<dao_recordset*>(rs.get()), nullptr);
  return rs;
}

}  // namespace

TEST(dao_recordset, SchemaGivesTheVariantTypeSizeAndDateKindOfEachColumn) {
  book b;
  const std::string path = write_kinds(b);
  engine_scope scope;
  auto db = open_book(path, true);
  auto rs = open_table(*db, u"Kinds$");
  struct row {
    const char16_t* name;
    VARTYPE vartype;
    uint32_t size;
    uint32_t reserved;
  };
  const row expected[] = {
      {u"When", VT_DATE, 8, dao_date_kind::date},
      {u"Clock", VT_DATE, 8, dao_date_kind::time},
      {u"Stamp", VT_DATE, 8, dao_date_kind::date_time},
      {u"Price", VT_CY, 8, 0},
      {u"Ratio", VT_R8, 8, 0},
      {u"Flag", VT_BOOL, 1, 0},
      {u"Name", VT_BSTR, 255, 0},
      {u"Notes", VT_BSTR, 0, 0},
      {u"Mixed", VT_BSTR, 255, 0},
      {u"Empty", VT_BSTR, 255, 0},
  };
  const udb_schema& schema = rs->schema();
  ASSERT_EQ(schema.size(), std::size(expected));
  for (std::size_t i = 0; i < schema.size(); ++i) {
    SCOPED_TRACE(narrow(expected[i].name));
    const t_ftd& f = *schema.fields[i];
    EXPECT_EQ(f.name, expected[i].name);
    EXPECT_EQ(f.vartype, expected[i].vartype);
    EXPECT_EQ(f.size, expected[i].size);
    EXPECT_EQ(f.reserved, expected[i].reserved);
    EXPECT_FALSE(f.b_not_null);
    EXPECT_TRUE(f.def_value.is_empty());
    EXPECT_TRUE(f.description.empty());
  }
  EXPECT_EQ(static_cast<dao_recordset&>(*rs).record_count(), 3);
}

TEST(dao_recordset, RecordsCarryTheWrittenValuesInTheirVariantTypes) {
  book b;
  const std::string path = write_kinds(b);
  engine_scope scope;
  auto db = open_book(path, true);
  auto rs = open_table(*db, u"Kinds$");
  // Dates and times by their text forms: midnight prints as the date, a
  // pure time carries the zero date "0000-00-00", and midnight of the zero
  // date is the time 00:00:00.
  const char* when[] = {"2024-02-29", "1900-01-01", "9999-12-31"};
  const char* clock[] = {"0000-00-00 08:30:00", "00:00:00", "0000-00-00 23:59:59"};
  const char* stamps[] = {"2024-02-29 13:45:30", "2000-01-01", "1999-12-31 23:59:59"};
  const int64_t prices[] = {12345678, -100, 0};
  const double ratios[] = {0.125, -1e20, 3};
  const bool flags[] = {true, false, true};
  const std::u16string names[] = {u"plain", u"line1\nline2", u"bold and plain"};
  const std::u16string mixed[] = {u"42", u"abc", u"1.5"};
  const std::string notes[] = {std::string(300, 'n'), "", "short"};
  int r = 0;
  for (; !rs->is_eof(); rs->move_next(), ++r) {
    ASSERT_LT(r, 3);
    SCOPED_TRACE(r);
    const udb_record& rec = *rs->get_record();
    ASSERT_EQ(rec.size(), 10u);
    const std::string texts[] = {when[r], clock[r], stamps[r]};
    for (int c = 0; c < 3; ++c) {
      ASSERT_EQ(rec[c].get_type(), VT_DATE);
      EXPECT_EQ(rec[c].to_string(), texts[c]);
      EXPECT_EQ(rec[c].to_wstring(), wide(texts[c]));
    }
    EXPECT_EQ(rec[3].get_cy(), prices[r]);
    EXPECT_EQ(rec[4].get_r8(), ratios[r]);
    EXPECT_EQ(rec[5].get_bool(), flags[r]);
    EXPECT_EQ(rec[6].text(), names[r]);
    EXPECT_EQ(rec[6].get_type(), VT_BSTR);
    EXPECT_EQ(rec[8].text(), mixed[r]);
    EXPECT_EQ(narrow(rec[7].text()), notes[r]);
    EXPECT_EQ(rec[7].is_null(), r == 1);
    EXPECT_TRUE(rec[9].is_null());
    EXPECT_EQ(rec[0].name(), u"When");
    EXPECT_EQ(rec[6].declared_size(), 255u);
    EXPECT_EQ(rec[7].declared_size(), 0u);
  }
  EXPECT_EQ(r, 3);
}

TEST(dao_recordset, FormulasGiveTheirCachedValuesAndErrorCellsAreNull) {
  book b;
  lxw_worksheet* s = b.sheet("Calc");
  worksheet_write_number(s, 0, 0, 1, nullptr);
  worksheet_write_formula_num(s, 1, 0, "=1+2", nullptr, 3);
  worksheet_write_formula_str(s, 2, 0, "=1/0", nullptr, "#DIV/0!");
  worksheet_write_formula_str(s, 0, 1, "=\"A\"&\"B\"", nullptr, "AB");
  worksheet_write_formula_str(s, 1, 1, "=NA()", nullptr, "#N/A");
  worksheet_write_string(s, 2, 1, "x", nullptr);
  const std::string path = b.close();
  // The writer marks every string result as a string; error results are "e".
  patch_part(path, "xl/worksheets/sheet1.xml", "t=\"str\"><f>1/0</f>", "t=\"e\"><f>1/0</f>");
  patch_part(path, "xl/worksheets/sheet1.xml", "t=\"str\"><f>NA()</f>", "t=\"e\"><f>NA()</f>");
  engine_scope scope;
  auto db = open_book(path);
  auto rs = open_table(*db, u"Calc$");
  EXPECT_EQ(rs->schema().fields[0]->vartype, VT_R8);
  EXPECT_EQ(rs->schema().fields[1]->vartype, VT_BSTR);
  const std::vector<std::vector<std::string>> expected = {
      {"1.0000000000000000e+00", "AB"}, {"3.0000000000000000e+00", "<NULL>"}, {"<NULL>", "x"}};
  EXPECT_EQ(read_texts(*db, u"Calc$"), expected);
  const udb_record& first = *rs->get_record();
  EXPECT_EQ(first[0].get_r8(), 1.0);
  rs->move_next();
  rs->move_next();
  const dao_field& error_cell = static_cast<const dao_field&>((*rs->get_record())[0]);
  EXPECT_EQ(error_cell.get_type(), VT_NULL);
}

TEST(dao_recordset, DatesOfBothDateSystems) {
  struct source {
    std::string path;
    std::vector<std::string> expected;
  };
  std::vector<source> sources;
  // .xlsx in the 1904 system: raw serials as that system counts them.
  book b;
  lxw_worksheet* s = b.sheet("D");
  lxw_format* date = b.format("d mmm yyyy");
  worksheet_write_number(s, 0, 0, 42369, date);  // 2020-01-01
  worksheet_write_number(s, 1, 0, 1, date);      // 1904-01-02
  worksheet_write_number(s, 2, 0, 1.5, date);    // 1904-01-02 12:00
  const std::string xlsx = b.close();
  patch_part(xlsx, "xl/workbook.xml", "<workbookPr ", "<workbookPr date1904=\"1\" ");
  sources.push_back({xlsx, {"2020-01-01", "1904-01-02", "1904-01-02 12:00:00"}});
  // The .xls fixtures: the same values in each system, then times.
  const std::vector<std::string> tail = {"2024-02-29",          "9999-12-31",          "2024-07-15 13:45:30",
                                         "1999-12-31 23:59:59", "0000-00-00 12:00:00", "0000-00-00 06:30:00"};
  std::vector<std::string> d1900 = {"1900-01-01", "1900-02-28", "1900-03-01"};
  // 1904-01-01 is serial 0 of that system; formatted as a date it is that day.
  std::vector<std::string> d1904 = {"1904-01-01", "1904-02-29", "1904-03-01"};
  d1900.insert(d1900.end(), tail.begin(), tail.end());
  d1904.insert(d1904.end(), tail.begin(), tail.end());
  sources.push_back({fixture("xls", "dates_1900.xls"), d1900});
  sources.push_back({fixture("xls", "dates_1904.xls"), d1904});

  engine_scope scope;
  for (const source& src : sources) {
    SCOPED_TRACE(src.path);
    auto db = open_book(src.path);
    ASSERT_EQ(db->tables().size(), 1u);
    const std::u16string table = db->tables()[0];
    auto rs = open_table(*db, table);
    EXPECT_EQ(rs->schema().fields[0]->vartype, VT_DATE);
    EXPECT_EQ(rs->schema().fields[0]->reserved, dao_date_kind::date_time);
    std::vector<std::string> got;
    for (const auto& row : read_texts(*db, table)) got.push_back(row.at(0));
    EXPECT_EQ(got, src.expected);
  }
}

TEST(dao_recordset, GetRecordRefillsTheSameRecordWithoutAllocating) {
  book b(true);
  lxw_worksheet* s = b.sheet("Rows");
  lxw_format* date = b.format("yyyy-mm-dd");
  lxw_format* money = b.format("$0.00");
  constexpr int rows = 200;
  // The longest text first: later texts fit the field's buffer.
  const std::string longest(120, 'w');
  for (int r = 0; r < rows; ++r) {
    const lxw_row_t row = static_cast<lxw_row_t>(r);
    const std::string text = r == 0 ? longest : "row number " + std::to_string(r);
    worksheet_write_string(s, row, 0, text.c_str(), nullptr);
    worksheet_write_number(s, row, 1, r * 0.5, nullptr);
    lxw_datetime d = dt(2000 + r % 50, 1 + r % 12, 1 + r % 28);
    worksheet_write_datetime(s, row, 2, &d, date);
    worksheet_write_boolean(s, row, 3, r % 2, nullptr);
    worksheet_write_number(s, row, 4, r, money);
  }
  const std::string path = b.close();
  engine_scope scope;
  auto db = open_book(path);
  auto rs = open_table(*db, u"Rows$");
  udb_record* first = nullptr;
  const udb_field* first_fields[5] = {};
  int r = 0;
  long allocations = 0;
  for (; !rs->is_eof(); rs->move_next(), ++r) {
    g_allocations = 0;
    g_counting = r > 0;
    udb_record* rec = rs->get_record();
    g_counting = false;
    allocations += g_allocations;
    ASSERT_EQ(rec->size(), 5u);
    if (r == 0) {
      first = rec;
      for (std::size_t i = 0; i < 5; ++i) first_fields[i] = &(*rec)[i];
    }
    ASSERT_EQ(rec, first);
    for (std::size_t i = 0; i < 5; ++i) ASSERT_EQ(&(*rec)[i], first_fields[i]);
    // Every row's own values, not the first row's.
    EXPECT_EQ(narrow((*rec)[0].text()), r == 0 ? longest : "row number " + std::to_string(r));
    EXPECT_EQ((*rec)[1].get_r8(), r * 0.5);
    const ole_date& d = (*rec)[2].get_date();
    EXPECT_EQ(d.st.year, 2000 + r % 50);
    EXPECT_EQ(d.st.month, 1 + r % 12);
    EXPECT_EQ(d.st.day, 1 + r % 28);
    EXPECT_EQ((*rec)[3].get_bool(), r % 2 == 1);
    EXPECT_EQ((*rec)[4].get_cy(), int64_t{r} * 10000);
  }
  EXPECT_EQ(r, rows);
  EXPECT_EQ(allocations, 0);
}

TEST(dao_recordset, NavigationAndItsFailures) {
  book b;
  lxw_worksheet* s = b.sheet("Three");
  for (int r = 0; r < 3; ++r) worksheet_write_number(s, static_cast<lxw_row_t>(r), 0, r + 1, nullptr);
  b.sheet("Nothing");
  const std::string path = b.close();
  engine_scope scope;
  auto db = open_book(path);

  auto empty = open_table(*db, u"Nothing$");
  EXPECT_TRUE(empty->is_eof());
  EXPECT_EQ(static_cast<dao_recordset&>(*empty).record_count(), 0);
  empty->reset();  // nothing to go back to
  EXPECT_TRUE(empty->is_eof());
  expect_assertion([&] { empty->get_record(); }, "dao_recs");

  auto rs = open_table(*db, u"Three$");
  EXPECT_EQ((*rs->get_record())[0].get_r8(), 1.0);
  rs->move_next();
  EXPECT_EQ((*rs->get_record())[0].get_r8(), 2.0);
  // The engine reads forward only.
  expect_failure([&] { rs->move_prev(); }, 0, 68787, "Operation is not supported for this type of object.");
  rs->reset();
  EXPECT_FALSE(rs->is_eof());
  EXPECT_EQ((*rs->get_record())[0].get_r8(), 1.0);
  rs->move_next();
  rs->move_next();
  rs->move_next();
  EXPECT_TRUE(rs->is_eof());
  expect_assertion([&] { rs->get_record(); }, "dao_recs");
  expect_failure([&] { rs->move_next(); }, 0, 68557,
                 "Either BOF or EOF is True, or the current record has been deleted. Requested operation requires a "
                 "current record.");
  rs->reset();
  EXPECT_EQ((*rs->get_record())[0].get_r8(), 1.0);
}

TEST(dao_recordset, GetTableTakesOnlyListedNames) {
  book b;
  worksheet_write_number(b.sheet("My Data"), 0, 0, 7, nullptr);
  const std::string path = b.close();
  engine_scope scope;
  auto db = open_book(path);
  EXPECT_EQ(db->tables(), std::vector<std::u16string>{u"'My Data$'"});
  EXPECT_EQ(read_texts(*db, u"'My Data$'"), (std::vector<std::vector<std::string>>{{"7.0000000000000000e+00"}}));
  // The engine would find these; the table list decides.
  expect_assertion([&] { db->get_table(u"'my data$'", 1); }, "dao_db");
  expect_assertion([&] { db->get_table(u"My Data", 1); }, "dao_db");
}

TEST(dao_recordset, ColumnKindFromDaoTypeAndFormat) {
  struct row {
    int16_t dao_type;
    int32_t size;
    const char16_t* format;
    VARTYPE vartype;
    uint32_t size_out;
    uint32_t reserved;
  };
  const row rows[] = {
      // Date kinds from the "Format" property, matched exactly.
      {8, 8, u"Short Date", VT_DATE, 8, 2},
      {8, 8, u"Medium Date", VT_DATE, 8, 2},
      {8, 8, u"Long Date", VT_DATE, 8, 2},
      {8, 8, u"Short Time", VT_DATE, 8, 3},
      {8, 8, u"Medium Time", VT_DATE, 8, 3},
      {8, 8, u"Long Time", VT_DATE, 8, 3},
      {8, 8, u"General Date", VT_DATE, 8, 1},
      {8, 8, u"", VT_DATE, 8, 1},
      {8, 8, u"short date", VT_DATE, 8, 1},
      {22, 8, u"Long Time", VT_DATE, 8, 3},
      // Other types ignore the format.
      {7, 8, u"Short Date", VT_R8, 8, 0},
      {5, 8, u"Long Time", VT_CY, 8, 0},
      {11, 0, u"", VT_ARRAY_UI1, 0, 0},  // a type without a variant of its own
      // A GUID column is text of its braced form; an attachment keeps its type number.
      {15, 16, u"", VT_BSTR, 38, 1},
      {101, 4, u"", VT_ARRAY_UI1, 0, 101},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(testing::Message() << r.dao_type << " " << narrow(r.format));
    const dao_detail::column_kind k = dao_detail::classify_column(r.dao_type, r.size, r.format);
    EXPECT_EQ(k.vartype, r.vartype);
    EXPECT_EQ(k.size, r.size_out);
    EXPECT_EQ(k.reserved, r.reserved);
  }
}

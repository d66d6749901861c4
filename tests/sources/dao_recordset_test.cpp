// Worksheet tables through the access layer: the schema built from the
// engine's fields, each value kind in its variant type, record reuse, and
// navigation. What the engine decides (types, dates, texts) is tested in
// tests/host.
#include "dao_recordset.h"

#include <cstdlib>
#include <new>

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

std::unique_ptr<udb_recordset> open_table(dao_database& db, const std::u16string& name) {
  std::unique_ptr<udb_recordset> rs = db.get_table(name, 1);
  EXPECT_NE(dynamic_cast<dao_recordset*>(rs.get()), nullptr);
  return rs;
}

}  // namespace

TEST(dao_recordset, EachValueKindArrivesInItsVariantTypeWithTheSchema) {
  book b;
  lxw_worksheet* s = b.sheet("Kinds");
  const char* headers[] = {"When", "Clock", "Stamp", "Price", "Ratio", "Flag", "Name", "Notes", "Empty"};
  for (int c = 0; c < 9; ++c) worksheet_write_string(s, 0, static_cast<lxw_col_t>(c), headers[c], nullptr);
  lxw_format* formats[] = {b.format("yyyy-mm-dd"), b.format("hh:mm:ss"), b.format("yyyy-mm-dd hh:mm:ss")};
  lxw_datetime dates[2][3] = {{dt(2024, 2, 29), dt(0, 0, 0, 8, 30, 0), dt(2024, 2, 29, 13, 45, 30)},
                              {dt(9999, 12, 31), dt(0, 0, 0, 0, 0, 0), dt(2000, 1, 1, 0, 0, 0)}};
  for (lxw_row_t r = 1; r <= 2; ++r) {
    for (lxw_col_t c = 0; c < 3; ++c) worksheet_write_datetime(s, r, c, &dates[r - 1][c], formats[c]);
    worksheet_write_number(s, r, 3, r == 1 ? 1234.5678 : -0.01, b.format("$#,##0.00"));
    worksheet_write_number(s, r, 4, r == 1 ? 0.125 : -1e20, nullptr);
    worksheet_write_boolean(s, r, 5, r == 1, nullptr);
    worksheet_write_string(s, r, 6, r == 1 ? "plain" : "x", nullptr);
  }
  worksheet_write_string(s, 1, 7, std::string(300, 'n').c_str(), nullptr);
  engine_scope scope;
  auto db = open_book(b.close(), true);
  auto rs = open_table(*db, u"Kinds$");

  struct column {
    VARTYPE vartype;
    uint32_t size, reserved;
  };
  const column expected[] = {{VT_DATE, 8, dao_date_kind::date}, {VT_DATE, 8, dao_date_kind::time},
                             {VT_DATE, 8, dao_date_kind::date_time}, {VT_CY, 8, 0}, {VT_R8, 8, 0}, {VT_BOOL, 1, 0},
                             {VT_BSTR, 255, 0}, {VT_BSTR, 0, 0}, {VT_BSTR, 255, 0}};
  const udb_schema& schema = rs->schema();
  ASSERT_EQ(schema.size(), std::size(expected));
  for (std::size_t i = 0; i < schema.size(); ++i) {
    SCOPED_TRACE(headers[i]);
    const t_ftd& f = *schema.fields[i];
    EXPECT_EQ(narrow(f.name), headers[i]);
    EXPECT_EQ(f.vartype, expected[i].vartype);
    EXPECT_EQ(f.size, expected[i].size);
    EXPECT_EQ(f.reserved, expected[i].reserved);
    EXPECT_FALSE(f.b_not_null);
  }
  EXPECT_EQ(static_cast<dao_recordset&>(*rs).record_count(), 2);

  // Midnight prints as the date; a time of day carries the zero date
  // "0000-00-00", and midnight of the zero date is the time 00:00:00.
  const std::vector<std::string> texts[] = {
      {"2024-02-29", "0000-00-00 08:30:00", "2024-02-29 13:45:30", "1234.5678", "1.2500000000000000e-01", "1",
       "plain", std::string(300, 'n'), "<NULL>"},
      {"9999-12-31", "00:00:00", "2000-01-01", "-0.01", "-1.0000000000000000e+20", "0", "x", "<NULL>", "<NULL>"}};
  for (int r = 0; r < 2; ++r, rs->move_next()) {
    SCOPED_TRACE(r);
    ASSERT_FALSE(rs->is_eof());
    const udb_record& rec = *rs->get_record();
    ASSERT_EQ(rec.size(), 9u);
    for (std::size_t c = 0; c < 9; ++c) {
      EXPECT_EQ(rec[c].is_null() ? "<NULL>" : rec[c].to_string(), texts[r][c]) << headers[c];
      EXPECT_EQ(narrow(rec[c].name()), headers[c]);
      EXPECT_EQ(rec[c].declared_size(), expected[c].size) << headers[c];
      if (!rec[c].is_null()) {
        EXPECT_EQ(rec[c].get_type(), expected[c].vartype) << headers[c];
        EXPECT_EQ(rec[c].to_wstring(), wide(texts[r][c])) << headers[c];
      }
    }
  }
  EXPECT_TRUE(rs->is_eof());
}

TEST(dao_recordset, GetRecordRefillsTheSameRecordWithoutAllocating) {
  book b(true);
  lxw_worksheet* s = b.sheet("Rows");
  lxw_format* date = b.format("yyyy-mm-dd");
  lxw_format* money = b.format("$0.00");
  constexpr int rows = 200;
  // The longest text first: later texts fit the field's buffer.
  auto text = [](int r) { return r == 0 ? std::string(120, 'w') : "row number " + std::to_string(r); };
  for (int r = 0; r < rows; ++r) {
    const lxw_row_t row = static_cast<lxw_row_t>(r);
    worksheet_write_string(s, row, 0, text(r).c_str(), nullptr);
    worksheet_write_number(s, row, 1, r * 0.5, nullptr);
    lxw_datetime d = dt(2000 + r % 50, 1 + r % 12, 1 + r % 28);
    worksheet_write_datetime(s, row, 2, &d, date);
    worksheet_write_boolean(s, row, 3, r % 2, nullptr);
    worksheet_write_number(s, row, 4, r, money);
  }
  engine_scope scope;
  auto db = open_book(b.close());
  auto rs = open_table(*db, u"Rows$");
  udb_record* first = rs->get_record();
  const udb_field* first_field = &(*first)[0];
  int r = 0;
  for (; !rs->is_eof(); rs->move_next(), ++r) {
    g_allocations = 0;
    g_counting = true;
    udb_record* rec = rs->get_record();
    g_counting = false;
    ASSERT_EQ(g_allocations, 0) << r;
    ASSERT_EQ(rec, first);
    ASSERT_EQ(&(*rec)[0], first_field);
    // Every row's own values, not the first row's.
    EXPECT_EQ(narrow((*rec)[0].text()), text(r));
    EXPECT_EQ((*rec)[1].get_r8(), r * 0.5);
    const ole_date& d = (*rec)[2].get_date();
    EXPECT_EQ(d.st.year * 10000 + d.st.month * 100 + d.st.day, (2000 + r % 50) * 10000 + (1 + r % 12) * 100 + 1 + r % 28);
    EXPECT_EQ((*rec)[3].get_bool(), r % 2 == 1);
    EXPECT_EQ((*rec)[4].get_cy(), int64_t{r} * 10000);
  }
  EXPECT_EQ(r, rows);
}

TEST(dao_recordset, ListedTablesAndNavigation) {
  book b;
  lxw_worksheet* s = b.sheet("My Data");
  for (int r = 0; r < 3; ++r) worksheet_write_number(s, static_cast<lxw_row_t>(r), 0, r + 1, nullptr);
  b.sheet("Nothing");
  engine_scope scope;
  auto db = open_book(b.close());
  EXPECT_EQ(db->tables(), (std::vector<std::u16string>{u"'My Data$'", u"Nothing$"}));
  // The engine would find these; the table list decides.
  expect_assertion([&] { db->get_table(u"'my data$'", 1); }, "dao_db");
  expect_assertion([&] { db->get_table(u"My Data", 1); }, "dao_db");

  auto empty = open_table(*db, u"Nothing$");
  EXPECT_TRUE(empty->is_eof());
  EXPECT_EQ(static_cast<dao_recordset&>(*empty).record_count(), 0);
  empty->reset();  // nothing to go back to
  EXPECT_TRUE(empty->is_eof());
  expect_assertion([&] { empty->get_record(); }, "dao_recs");

  auto rs = open_table(*db, u"'My Data$'");
  auto value = [&] { return (*rs->get_record())[0].get_r8(); };
  rs->move_next();
  EXPECT_EQ(value(), 2.0);
  // The engine reads forward only.
  expect_failure([&] { rs->move_prev(); }, 0, 68787, "Operation is not supported for this type of object.");
  rs->reset();
  EXPECT_EQ(value(), 1.0);
  for (int i = 0; i < 3; ++i) rs->move_next();
  EXPECT_TRUE(rs->is_eof());
  expect_assertion([&] { rs->get_record(); }, "dao_recs");
  expect_failure([&] { rs->move_next(); }, 0, 68557,
                 "Either BOF or EOF is True, or the current record has been deleted. Requested operation requires a "
                 "current record.");
  rs->reset();
  EXPECT_EQ(value(), 1.0);
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

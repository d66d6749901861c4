// The engine object, opening files of every kind, the table collection and
// recordset navigation.
#include <random>
#include <tuple>

#include "host_fixture.h"
#include "wb_database.h"
#include "wb_query_def.h"
#include "wb_text.h"

using namespace host_test;

namespace {

// Sheet1 holds "a", 1, 2; Empty has formatting alone, which gives no used
// range. Written once for the tests that only read it.
const std::string& simple_book() {
  static xlsx_book w;
  static const std::string path = [] {
    lxw_worksheet* s = w.sheet("Sheet1");
    worksheet_write_string(s, 0, 0, "a", nullptr);
    worksheet_write_number(s, 1, 0, 1, nullptr);
    worksheet_write_number(s, 2, 0, 2, nullptr);
    lxw_format* bold = workbook_add_format(w.handle());
    format_set_bold(bold);
    worksheet_write_blank(w.sheet("Empty"), 3, 3, bold);
    return w.close();
  }();
  return path;
}

}  // namespace

TEST(host_engine, CreateInstanceResolvesOnlyTheRegisteredClasses) {
  const std::u16string iid(wb_engine::engine_interface_id), ace = u"{CD7791B9-43FD-42C5-AE42-8DD2811F0419}";
  const auto unregistered = static_cast<wb_hresult>(0x80040154u);
  const std::tuple<std::u16string, std::u16string, wb_hresult> rows[] = {
      {ace, iid, wb_s_ok},
      {u"{00000100-0000-0100-8000-00AA006D2EA4}", iid, wb_s_ok},
      {u"{cd7791b9-43fd-42c5-ae42-8dd2811f0419}", iid, wb_s_ok},
      {u"{00000100-0000-0010-8000-00AA006D2EA4}", iid, unregistered},
      {u"{00000000-0000-0000-0000-000000000000}", iid, unregistered},
      {ace.substr(1, 36), iid, unregistered},
      {ace, u"{00000021-0000-0010-8000-00AA006D2EA5}", static_cast<wb_hresult>(0x80004002u)},
  };
  for (const auto& [class_id, interface_id, expected] : rows) {
    std::unique_ptr<wb_engine> engine;
    EXPECT_EQ(wb_engine::create_instance(class_id, interface_id, engine), expected) << utf8(class_id);
    EXPECT_EQ(engine != nullptr, expected == wb_s_ok) << utf8(class_id);
  }
}

TEST(host_engine, FilesThatAreNoReadableWorkbookFailWithTheDaoError) {
  testsupport::temp_dir dir;
  const std::string bytes = testsupport::read_file(simple_book());

  std::mt19937 rng(7);
  std::string random(4096, '\0');
  for (char& c : random) c = static_cast<char>(rng());
  const std::pair<std::string, std::string> files[] = {
      {"random.xlsx", random},
      {"truncated.xlsx", bytes.substr(0, bytes.size() / 2)},
      {"empty.xlsx", ""},
      {"text.csv", "a,b\n1,2\n"},
      // An OLE2 signature followed by garbage: no readable compound file.
      {"ole.xls", std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + random}};
  std::vector<std::pair<std::string, long>> rows = {
      {dir.file("missing.xlsx"), 3024},
      {testsupport::source_dir() + "/tests/data/xlsx/encrypted_secret.xlsx", 3161},  // encrypted by an independent tool
      {dir.path(), 3024}};
  for (const auto& [name, content] : files) {
    testsupport::write_file(dir.file(name), content);
    rows.emplace_back(dir.file(name), 3274);
  }
  for (const auto& [path, number] : rows) {
    SCOPED_TRACE(path);
    const open_failure f = open_error(path);
    EXPECT_EQ(f.number, number);
    EXPECT_EQ(f.description, number == 3024   ? "Could not find file '" + path + "'."
                             : number == 3161 ? "Could not decrypt file."
                                              : "External table is not in the expected format.");
    EXPECT_EQ(static_cast<std::uint32_t>(f.hr), 0x800A0000u + static_cast<std::uint32_t>(number));
  }
}

TEST(host_engine, ConnectStringNamesTheExcelDriverAndTheHeaderOption) {
  const std::string& path = simple_book();
  const std::pair<const char16_t*, long> rows[] = {
      // records, or -1: refused with 3170
      {u"Excel 5.0; HDR=No; IMEX=1;", 3},
      {u"Excel 5.0; IMEX=1;", 2},
      {u"Excel 8.0;hdr=no", 3},
      {u"Excel 12.0 Xml; HDR = YES ;", 2},
      {u"excel 12.0 xml;HDR=False", 3},
      {u"Text;HDR=No;", -1},
      {u"", -1},
      {u";Excel 5.0", -1},
  };
  for (const auto& [connect, records] : rows) {
    SCOPED_TRACE(utf8(connect));
    EXPECT_EQ(records < 0 ? open_error(path, connect).number : read_table(path, u"Sheet1$", connect).record_count,
              records < 0 ? 3170 : records);
  }
}

// The tables are the worksheets in order, named as the driver names them
// (tests/golden/host/table_names.txt): letters of any script need no quotes;
// a hidden sheet is a table like any other, a chart sheet is none.
TEST(host_engine, TablesAreTheWorksheetsInOrderNamedAsTheDriverNamesThem) {
  xlsx_book w;
  for (const char* name : {"Sheet1", "My Data", "Secret", "O'Brien", "Data_2019", "2019", "a-b", "a.b", "x$",
                           "\u00dcbersicht", "\u5de5\u4f5c", "Stra\u00dfe"}) {
    lxw_worksheet* s = w.sheet(name);
    if (name == std::string("Sheet1")) worksheet_write_number(s, 0, 0, 1, nullptr);
    if (name == std::string("Secret")) {
      worksheet_write_string(s, 0, 0, "hidden value", nullptr);
      worksheet_hide(s);
      lxw_chart* chart = workbook_add_chart(w.handle(), LXW_CHART_BAR);
      chart_add_series(chart, nullptr, "=Sheet1!$A$1:$A$1");
      chartsheet_set_chart(workbook_add_chartsheet(w.handle(), "Chart1"), chart);
    }
  }
  const std::string path = w.close();
  testsupport::expect_golden("host/table_names.txt", listing(path));

  auto engine = make_engine();
  auto db = open_ok(*engine, path);
  ASSERT_NE(db, nullptr);
  wb_table_def def;
  // Names are found ignoring case, folded in full (STRASSE).
  for (const auto& [lookup, name] :
       {std::pair{u"'O''Brien$'", "'O''Brien$'"}, {u"sheet1$", "Sheet1$"}, {u"STRASSE$", "Stra\u00dfe$"}}) {
    EXPECT_EQ(db->table(lookup, def), wb_s_ok) << name;
    EXPECT_EQ(utf8(def.name), name);
  }
  EXPECT_EQ(db->table(u"Chart1$", def), wb_dao_hresult(3265));
  EXPECT_EQ(db->table(99, def), wb_dao_hresult(3265));
  EXPECT_EQ(engine->errors().item(0).number, 3265);
}

TEST(host_engine, QueriesOtherThanSelectStarFromAKnownTableFail) {
  auto engine = make_engine();
  auto db = open_ok(*engine, simple_book());
  ASSERT_NE(db, nullptr);
  const std::pair<std::u16string, long> rows[] = {
      {u"SELECT * FROM [Nope$]", 3078}, {u"DELETE FROM [Sheet1$]", 3129},     {u"SELECT a FROM [Sheet1$]", 3131},
      {u"SELECT * FROM", 3131},         {u"SELECT * FROM [Sheet1$] x", 3131},
  };
  for (const auto& [sql, number] : rows) {
    SCOPED_TRACE(utf8(sql));
    std::unique_ptr<wb_query_def> qd;
    ASSERT_EQ(db->create_query_def(u"", sql, qd), wb_s_ok);
    std::unique_ptr<wb_recordset> rs;
    EXPECT_EQ(qd->open_recordset(rs), wb_dao_hresult(number));
    EXPECT_EQ(rs, nullptr);
    ASSERT_EQ(engine->errors().count(), 1u);
    EXPECT_EQ(engine->errors().item(0).number, number);
  }
  EXPECT_EQ(utf8(engine->errors().item(0).description), "Syntax error in FROM clause.");
  std::unique_ptr<wb_recordset> rs;
  db->open_recordset(u"SELECT * FROM [Nope$]", rs);
  EXPECT_EQ(utf8(engine->errors().item(0).description),
            "The database engine cannot find the input table or query 'Nope$'. Make sure it exists and that its name "
            "is spelled correctly.");
  // Keywords ignore case; bare names, apostrophes and a final ";" are accepted.
  for (const char16_t* sql : {u"select * from [Sheet1$];", u"SELECT * FROM Sheet1$", u"SELECT*FROM['Sheet1$']"}) {
    EXPECT_EQ(db->open_recordset(sql, rs), wb_s_ok) << utf8(sql);
  }
}

TEST(host_engine, RecordsetMovesForwardAndRestartsAndOutlivesItsDatabase) {
  // The failures of navigation are checked through the access layer (tests/sources).
  auto engine = make_engine();
  auto db = open_ok(*engine, simple_book(), hdr_yes);
  ASSERT_NE(db, nullptr);
  std::unique_ptr<wb_recordset> rs;
  ASSERT_EQ(db->open_recordset(u"SELECT * FROM [Sheet1$]", rs), wb_s_ok);
  EXPECT_FALSE(rs->bof());
  EXPECT_EQ(rs->field_index(u"A"), 0);
  EXPECT_EQ(rs->field_index(u"b"), -1);
  EXPECT_EQ(rs->move_next(), wb_s_ok);
  EXPECT_EQ(rs->move_next(), wb_s_ok);
  EXPECT_TRUE(rs->eof());
  EXPECT_TRUE(rs->field(0).value().is_null());
  EXPECT_EQ(rs->move_first(), wb_s_ok);
  db.reset();
  EXPECT_EQ(rs->move_next(), wb_s_ok);
  EXPECT_EQ(rs->field(0).value().number, 2.0);
}

TEST(host_engine, EmptySheetHasOneTextFieldAndNoRecords) {
  for (const char16_t* connect : {hdr_no, hdr_yes}) {
    auto engine = make_engine();
    auto db = open_ok(*engine, simple_book(), connect);
    ASSERT_NE(db, nullptr);
    std::unique_ptr<wb_recordset> rs;
    ASSERT_EQ(db->open_recordset(u"SELECT * FROM [Empty$]", rs), wb_s_ok);
    EXPECT_TRUE(rs->bof());
    EXPECT_TRUE(rs->eof());
    EXPECT_EQ(rs->record_count(), 0);
    ASSERT_EQ(rs->field_count(), 1u);
    EXPECT_EQ(utf8(rs->field(0).name()), "F1");
    EXPECT_EQ(rs->field(0).type(), wb_dao_type::text);
    EXPECT_EQ(rs->move_first(), wb_dao_hresult(3021));
  }
}

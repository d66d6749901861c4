// The dump writer's classes without a server: statement layout around the
// multi-row limits, records of another layout, and several sources for one
// table.

#include <gtest/gtest.h>

#include <optional>
#include <sstream>

#include "dmp_database.h"
#include "dmp_recordset.h"
#include "expect_failure.h"
#include "test_support.h"
#include "udb_record.h"

using testsupport::read_file;

namespace {

class DumpWriter : public ::testing::Test {
 protected:
  DumpWriter() {
    options_.dmp_line_br = 1;
    options_.dmp_ins_com = false;
    schema_.push_back(t_ftd(0, u"id", VT_I4, false, false, ole_variant(), 0));
    schema_.push_back(t_ftd(0, u"txt", VT_BSTR, false, false, ole_variant(), 0));
  }

  // The dump database; its file takes the destination's place at finish().
  std::unique_ptr<dmp_database> open() {
    return std::make_unique<dmp_database>(path_, options_, dmp_database::header_stamp{"d.sql", "01/02/2030"},
                                          settings_);
  }
  std::unique_ptr<udb_recordset> table(dmp_database& db, const std::u16string& name) {
    return db.create_table(name, schema_, {});
  }
  // A record of both columns, or of the id alone.
  udb_record& row(int32_t id, std::optional<std::u16string> txt) {
    record_.clear();
    record_.add(u"id").set_i4(id);
    if (txt) record_.add(u"txt").set_text(*txt);
    return record_;
  }
  // The lines of the file that begin with `prefix`.
  std::vector<std::string> lines(const std::string& prefix) const {
    std::vector<std::string> out;
    std::istringstream in(read_file(file_));
    for (std::string line; std::getline(in, line);)
      if (line.rfind(prefix, 0) == 0) out.push_back(line);
    return out;
  }

  sql_destination::create_settings settings_;
  testsupport::temp_dir dir_;
  std::string file_ = dir_.file("d.sql");
  std::u16string path_ = std::u16string(file_.begin(), file_.end());
  dump_options options_;
  udb_schema schema_;
  udb_record record_;
};

// Rows per INSERT statement, in file order (values never hold "), (").
std::vector<size_t> rows_per_statement(const std::vector<std::string>& inserts) {
  std::vector<size_t> out;
  for (const std::string& s : inserts) {
    size_t n = 1;
    for (size_t at = 0; (at = s.find("), (", at)) != std::string::npos; ++at) ++n;
    out.push_back(n);
  }
  return out;
}

TEST_F(DumpWriter, ARowOverTheLimitEndsMultiRowStatementsForEveryLaterTable) {
  const size_t limit = dmp_recordset::max_fast_row_bytes;
  {
    auto db = open();
    auto a = table(*db, u"a");
    a->append_record(row(1, u"x"));
    // Exactly the limit: still packed; the statement, now past 1,000,000
    // characters, is written out and the next row opens a new one.
    a->append_record(row(2, std::u16string(limit, u'x')));
    a->append_record(row(3, u"x"));
    a->append_record(row(4, std::u16string(limit + 1, u'x')));
    a->append_record(row(5, u"x"));
    a.reset();
    auto b = table(*db, u"b");
    b->append_record(row(6, u"x"));
    b->append_record(row(7, u"x"));
    b.reset();
    db->finish();
  }
  const auto a_rows = lines("INSERT INTO `a`");
  EXPECT_EQ(rows_per_statement(a_rows), (std::vector<size_t>{2, 1, 1, 1}));
  ASSERT_EQ(a_rows.size(), 4u);
  EXPECT_GT(a_rows[0].size(), dmp_recordset::max_statement_bytes);
  EXPECT_EQ(a_rows[1], "INSERT INTO `a`(`id`, `txt`) VALUES(3, 'x') ON DUPLICATE KEY UPDATE `id` = `id`;");
  EXPECT_EQ(rows_per_statement(lines("INSERT INTO `b`")), (std::vector<size_t>{1, 1}));
}

TEST_F(DumpWriter, RecordsOfAnotherLayoutCloseTheOpenStatement) {
  {
    auto db = open();
    auto t = table(*db, u"t");
    t->append_record(row(1, u"a"));
    t->append_record(row(2, u"b"));
    t->append_record(row(3, std::nullopt));  // a short CSV line
    t->append_record(row(4, u"d"));
    row(5, std::nullopt).add(u"other").set_i4(6);
    testsupport::expect_failure([&] { t->append_record(record_); }, 0, 0,
                                "The structure of data source does not conform to the destination table. For more "
                                "information see Troubleshooting article");
    t.reset();
    db->finish();
  }
  testsupport::expect_golden("dump/another_layout.sql", read_file(file_));
}

// Two sources mapped to one table: the later writers append to the table as
// created, without a second definition, under a lock of their own.
TEST_F(DumpWriter, ASecondSourceForATableAppendsToIt) {
  {
    auto db = open();
    table(*db, u"a")->append_record(row(1, u"first"));
    table(*db, u"b")->append_record(row(2, u"other"));
    EXPECT_TRUE(db->is_table_exist(u"A", false));
    table(*db, u"A")->append_record(row(3, u"second"));
    table(*db, u"a")->append_record(row(4, u"third"));
    db->delete_tab(u"b");
    EXPECT_FALSE(db->is_table_exist(u"b", false));
    db->finish();
  }
  testsupport::expect_golden("dump/second_source.sql", read_file(file_));
}

}  // namespace

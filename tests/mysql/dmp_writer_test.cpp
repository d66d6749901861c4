// The dump writer's classes without a server: statement layout of the
// multi-row and one-row modes and their limits, big values in pieces,
// several sources for one table, the statements the driver writes, the
// character-set lines, and files the system refuses to write.

#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "dmp_database.h"
#include "dmp_recordset.h"
#include "sql_engine.h"
#include "sql_util.h"
#include "test_support.h"
#include "tk_exception.h"
#include "tk_mail_assertion.h"
#include "udb_record.h"

using testsupport::read_file;
using testsupport::temp_dir;

namespace {

class DumpWriter : public ::testing::Test {
 protected:
  DumpWriter() {
    options_.dmp_line_br = 1;
    options_.dmp_ins_com = false;
    schema_.push_back(t_ftd(0, u"id", VT_I4, false, false, ole_variant(), 0));
    schema_.push_back(t_ftd(0, u"txt", VT_BSTR, false, false, ole_variant(), 0));
  }

  std::unique_ptr<dmp_database> open() {
    return std::make_unique<dmp_database>(path_, options_, dmp_database::header_stamp{"f.sql", "01/02/2030"});
  }
  std::unique_ptr<udb_recordset> table(dmp_database& db, const std::u16string& name) {
    return db.create_table(name, schema_, {});
  }
  // A record of the two columns (or only the id when `txt` is null).
  const udb_record& row(int32_t id, const std::u16string* txt) {
    record_.clear();
    record_.add(u"id").set_i4(id);
    if (txt) record_.add(u"txt").set_text(*txt);
    return record_;
  }
  const udb_record& row(int32_t id, std::u16string txt) {
    text_ = std::move(txt);
    return row(id, &text_);
  }
  // The lines of the file that begin with `prefix`.
  std::vector<std::string> lines(const std::string& prefix) const {
    std::vector<std::string> out;
    std::istringstream in(read_file(path_str_));
    for (std::string line; std::getline(in, line);)
      if (line.rfind(prefix, 0) == 0) out.push_back(line);
    return out;
  }

  sql_engine engine_;
  temp_dir dir_;
  std::string path_str_ = dir_.file("d.sql");
  std::u16string path_ = std::u16string(path_str_.begin(), path_str_.end());
  dump_options options_;
  udb_schema schema_;
  udb_record record_;
  std::u16string text_;
};

// Rows per INSERT statement, in file order.
std::vector<size_t> rows_per_statement(const std::vector<std::string>& inserts) {
  std::vector<size_t> out;
  for (const std::string& s : inserts) {
    size_t n = 1;
    for (size_t at = 0; (at = s.find("), (", at)) != std::string::npos; ++at) ++n;
    out.push_back(n);
  }
  return out;
}

TEST_F(DumpWriter, SmallRowsShareOneStatementWrittenWhenTheWriterGoes) {
  {
    auto db = open();
    auto t = table(*db, u"t");
    t->append_record(row(1, u"a"));
    t->append_record(row(2, u"b'\\\r\n\x1A" + std::u16string(1, u'\0') + u"\u00FC"));
    t->append_record(row(3, nullptr));
    EXPECT_EQ(read_file(path_str_), "") << "nothing reaches the file before a statement is complete";
  }
  EXPECT_EQ(read_file(path_str_),
            "\nSET NAMES utf8;\n"
            "DROP TABLE IF EXISTS `t` CASCADE;\n"
            "CREATE TABLE `t` (\n  `id` INT,\n  `txt` LONGTEXT\n) ENGINE=InnoDB;\n"
            "LOCK TABLES `t` WRITE;\n"
            "INSERT INTO `t`(`id`, `txt`) VALUES(1, 'a'), (2, 'b\\'\\\\\\r\\n\\Z\\0\xC3\xBC');\n"
            "INSERT INTO `t`(`id`) VALUES(3);\n"
            "UNLOCK TABLES;\n");
}

TEST_F(DumpWriter, ARowOverTheLimitEndsMultiRowStatementsForEveryLaterTable) {
  {
    auto db = open();
    auto a = table(*db, u"a");
    a->append_record(row(1, u"x"));
    // Exactly the limit: still packed, and the statement, now past
    // 1,000,000 characters, is written out.
    a->append_record(row(2, std::u16string(dmp_recordset::max_fast_row_bytes, u'x')));
    a->append_record(row(3, u"x"));
    a->append_record(row(4, std::u16string(dmp_recordset::max_fast_row_bytes + 1, u'x')));
    a->append_record(row(5, u"x"));
    a.reset();
    auto b = table(*db, u"b");
    b->append_record(row(6, u"x"));
    b->append_record(row(7, u"x"));
  }
  const auto a_rows = lines("INSERT INTO `a`");
  EXPECT_EQ(rows_per_statement(a_rows), (std::vector<size_t>{2, 1, 1, 1}));
  ASSERT_EQ(a_rows.size(), 4u);
  EXPECT_GT(a_rows[0].size(), dmp_recordset::max_statement_bytes);
  EXPECT_EQ(a_rows[1], "INSERT INTO `a`(`id`, `txt`) VALUES(3, 'x');");
  EXPECT_EQ(rows_per_statement(lines("INSERT INTO `b`")), (std::vector<size_t>{1, 1}));
}

TEST_F(DumpWriter, AFullStatementIsWrittenAndTheNextRowOpensANewOne) {
  {
    auto db = open();
    auto t = table(*db, u"t");
    for (int i = 0; i < 25; ++i) t->append_record(row(i, std::u16string(99990, u'y')));
  }
  // Nine rows of 99,997 characters stay below the cap, the tenth takes the
  // statement past it (1,000,023 characters) and the 11th opens a new one.
  EXPECT_EQ(rows_per_statement(lines("INSERT INTO `t`(`id`, `txt`) VALUES(")), (std::vector<size_t>{10, 10, 5}));
}

// Values over the inline limit go to the file in pieces; the statement must
// read exactly as the inline literal of the same value would.
TEST_F(DumpWriter, BigValuesWrittenInPiecesReadAsTheirInlineLiteral) {
  std::u16string tricky = u"'\\\r\n\x1A";
  tricky += u'\0';
  tricky += u"\U0001F600\u00E9\xD800z";  // a 4-byte character, a lone surrogate
  std::u16string text;
  while (text.size() < sql_max_inline_field_size + 8) text += tricky;
  // A surrogate pair across the first piece boundary.
  text[dmp_recordset::piece_size - 1] = 0xD83D;
  text[dmp_recordset::piece_size] = 0xDE00;
  std::vector<uint8_t> bytes(sql_max_inline_field_size + 1);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7);

  schema_.push_back(t_ftd(0, u"bin", VT_BLOB, false, false, ole_variant(), 0));
  udb_record big;
  for (size_t size : {sql_max_inline_field_size, sql_max_inline_field_size + 1}) {
    SCOPED_TRACE(size);
    std::string expected = "INSERT INTO `t`(`id`, `txt`, `bin`) VALUES(1, ";
    big.clear();
    big.add(u"id").set_i4(1);
    big.add(u"txt").set_text(std::u16string_view(text).substr(0, size));
    big.add(u"bin").attach_binary(std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(size)));
    get_fld_append_str(expected, &big[1], schema_.fields[1].get(), false, sql_literal_style::dump);
    expected += ", ";
    get_fld_append_str(expected, &big[2], schema_.fields[2].get(), false, sql_literal_style::dump);
    expected += ");";
    {
      auto db = open();
      table(*db, u"t")->append_record(big);
    }
    const auto inserts = lines("INSERT");
    ASSERT_EQ(inserts.size(), 1u);
    EXPECT_TRUE(inserts[0] == expected) << "differs at " << std::mismatch(expected.begin(), expected.end(),
                                                                          inserts[0].begin(), inserts[0].end())
                                                                 .first -
                                                             expected.begin();
  }
}

TEST_F(DumpWriter, RecordsOfAnotherLayoutCloseTheOpenStatement) {
  {
    auto db = open();
    auto t = table(*db, u"t");
    t->append_record(row(1, u"a"));
    t->append_record(row(2, u"b"));
    t->append_record(row(3, nullptr));  // a short CSV line
    t->append_record(row(4, u"d"));
    record_.clear();
    record_.add(u"id").set_i4(5);
    record_.add(u"other").set_i4(6);
    try {
      t->append_record(record_);
      ADD_FAILURE() << "a field the table does not have was accepted";
    } catch (const tk_exception& e) {
      EXPECT_EQ(e.message(),
                "The structure of data source does not conform to the destination table. For more information see "
                "Troubleshooting article");
      EXPECT_EQ(e.level(), 0u);
    }
  }
  EXPECT_EQ(lines("INSERT"), (std::vector<std::string>{"INSERT INTO `t`(`id`, `txt`) VALUES(1, 'a'), (2, 'b');",
                                                       "INSERT INTO `t`(`id`) VALUES(3);",
                                                       "INSERT INTO `t`(`id`, `txt`) VALUES(4, 'd');"}));
}

// Two sources mapped to one table: the second writer appends to the table
// as created, without a second definition, under a lock of its own.
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
  }
  EXPECT_EQ(lines("CREATE TABLE `a`").size(), 1u);
  const std::string tail = read_file(path_str_).substr(read_file(path_str_).find("LOCK TABLES `b`"));
  EXPECT_EQ(tail,
            "LOCK TABLES `b` WRITE;\n"
            "INSERT INTO `b`(`id`, `txt`) VALUES(2, 'other');\n"
            "UNLOCK TABLES;\n"
            "LOCK TABLES `a` WRITE;\n"
            "INSERT INTO `a`(`id`, `txt`) VALUES(3, 'second');\n"
            "INSERT INTO `a`(`id`, `txt`) VALUES(4, 'third');\n"
            "UNLOCK TABLES;\n"
            "DROP TABLE IF EXISTS `b` CASCADE;\n");
}

TEST_F(DumpWriter, StatementsOfTheDriverAndOfOtherConverters) {
  options_.dmp_loc_wri = false;
  {
    auto db = open();
    table(*db, u"p");
    table(*db, u"c");
    db->query(u"ALTER TABLE `c` MODIFY `id` INT");
    db->query(u"CREATE FUNCTION f() RETURNS INT RETURN 1;");
    udb_index key(u"k", true, false);
    key.fields = {u"id"};
    db->create_index(u"c", key);
    udb_index primary(u"PRIMARY", true, true);
    primary.fields = {u"id"};
    db->create_index(u"p", primary);
    db->delete_idx(u"c", key);
    db->delete_fk(u"c", u"fk");
    db->create_relationships({udb_relationship{u"fk", u"c", u"p", {u"id"}, {u"id"}}});
    db->create_views({{u"v", u"SELECT isnull([id], 0) FROM p"}, {u"w", u"DELETE FROM p"}});
    EXPECT_THROW(db->get_table(u"p", 0), tk_mail_assertion);
  }
  const std::string all = read_file(path_str_);
  EXPECT_EQ(all.substr(all.find("ALTER TABLE `c` MODIFY")),
            "ALTER TABLE `c` MODIFY `id` INT;\n"
            "DELIMITER $$\nCREATE FUNCTION f() RETURNS INT RETURN 1;$$\nDELIMITER ;\n"
            "CREATE UNIQUE INDEX `k` ON `c` (`id`);\n"
            "ALTER TABLE `p` ADD PRIMARY KEY  (`id`);\n"
            "ALTER TABLE `c` DROP INDEX `k`;\n"
            "ALTER TABLE `c` DROP FOREIGN KEY `fk`;\n"
            "SET FOREIGN_KEY_CHECKS = 0;\n"
            "ALTER TABLE `c` ADD INDEX (`id`);\n"
            "ALTER TABLE `c` ADD CONSTRAINT `fk` FOREIGN KEY(`id`) REFERENCES `p`(`id`);\n"
            "SET FOREIGN_KEY_CHECKS = 1;\n"
            "CREATE OR REPLACE VIEW `v` AS SELECT ifnull(`id`, 0) FROM p;\n");
}

TEST_F(DumpWriter, SetNamesNamesTheFileEncoding_CreateDatabaseTheTables) {
  options_.dmp_ins_db = true;
  options_.db_name = "d";
  const struct {
    std::u16string char_set;
    std::string start;
  } cases[] = {
      {u"utf8mb4", "\nSET NAMES utf8mb4;\n\nDROP DATABASE IF EXISTS `d`;\nCREATE DATABASE `d` character set utf8mb4;\n"},
      {u"latin1", "\nSET NAMES UTF8;\n\nDROP DATABASE IF EXISTS `d`;\nCREATE DATABASE `d` character set latin1;\n"},
      {u"", "\nSET NAMES UTF8;\n\nDROP DATABASE IF EXISTS `d`;\nCREATE DATABASE `d`;\nUSE `d`;\n"},
  };
  for (const auto& c : cases) {
    engine_.char_set = c.char_set;
    open()->close();
    EXPECT_EQ(read_file(path_str_).rfind(c.start, 0), 0u) << read_file(path_str_);
  }
}

void expect_write_failure(const std::function<void()>& action, const std::string& message) {
  try {
    action();
    ADD_FAILURE() << "no failure reported";
  } catch (const tk_exception& e) {
    EXPECT_EQ(e.message(), message);
    EXPECT_EQ(e.level(), 1u);
  }
}

TEST_F(DumpWriter, WritesTheSystemRefusesAreLevelOneFailures) {
  const std::string full = "Cannot write dump file '/dev/full': No space left on device";
  path_ = u"/dev/full";
  {
    // Past the output buffer: the statement's write fails at once.
    auto db = open();
    auto t = table(*db, u"t");
    expect_write_failure([&] { t->append_record(row(1, std::u16string(dmp_recordset::max_statement_bytes, u'x'))); },
                         full);
    t.reset();
    // The file reports the failure again when closed, then stays quiet.
    expect_write_failure([&] { db->close(); }, full);
    db->close();
  }
  {
    // Everything fits the buffer: the failure shows when the file closes.
    auto db = open();
    table(*db, u"t")->append_record(row(1, u"x"));
    expect_write_failure([&] { db->close(); }, full);
  }
  path_ = u"/nonexistent-folder/d.sql";
  expect_write_failure([&] { open(); },
                       "Cannot write dump file '/nonexistent-folder/d.sql': No such file or directory");
}

}  // namespace

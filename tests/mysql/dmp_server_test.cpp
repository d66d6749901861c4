// A dump file loaded back into the private MariaDB server by the mariadb
// client: values around the inline limit (the larger ones written in
// pieces) arrive whole. (Live and dump runs of the same sources are
// compared end to end in tests/agent.)

#include <gtest/gtest.h>

#include "dmp_database.h"
#include "mysql_test_server.h"
#include "sql_dialect.h"
#include "test_support.h"
#include "tk_unicode.h"
#include "udb_record.h"
#include "udb_recordset.h"

using testsupport::mysql_row;
using testsupport::run_result;

namespace {

class DumpLoad : public testsupport::mysql_fixture {
 protected:
  // Runs a dump file through the mariadb client, as a user would.
  void load(const std::string& file, const std::string& database) {
    const run_result r = testsupport::run(
        "/bin/sh", {"sh", "-c", "exec mariadb --no-defaults -h\"$1\" -P\"$2\" -u\"$3\" -p\"$4\" $5 < \"$6\"", "sh",
                    address_.host, std::to_string(address_.port), address_.user, address_.password, database, file});
    ASSERT_EQ(r.status, 0) << r.err.substr(0, 2000);
  }

  testsupport::temp_dir dir_;
};

// Text (every character the escaping touches; a 4-byte character across
// piece boundaries) and binary values (every byte value) of exactly the
// inline limit and one more, which goes to the file in pieces.
TEST_F(DumpLoad, ValuesAroundTheInlineLimitArriveWhole) {
  std::u16string unit = u"'\\\r\n\x1A";
  unit += u'\0';
  unit += u"\"\U0001F600\u00E9 x";  // 12 units: no pair is cut at either length
  std::u16string text;
  while (text.size() < sql_max_inline_field_size + 1) text += unit;
  std::vector<uint8_t> bytes(sql_max_inline_field_size + 1);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 31 + i / 256);

  udb_schema schema;
  schema.push_back(t_ftd(0, u"id", VT_I4, false, false, ole_variant(), 0));
  schema.push_back(t_ftd(0, u"txt", VT_BSTR, false, false, ole_variant(), 0));
  schema.push_back(t_ftd(0, u"bin", VT_BLOB, false, false, ole_variant(), 0));
  const std::string file = dir_.file("big.sql");
  std::vector<mysql_row> expected;
  {
    dmp_database db(std::u16string(file.begin(), file.end()), dump_options{}, {"big.sql", "01/02/2030"},
                    {u"utf8mb4", u"InnoDB", nullptr});
    auto table = db.create_table(u"big", schema, {});
    udb_record row;
    for (size_t size : {sql_max_inline_field_size, sql_max_inline_field_size + 1}) {
      const std::u16string_view part = std::u16string_view(text).substr(0, size);
      const std::vector<uint8_t> blob(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(size));
      row.clear();
      row.add(u"id").set_i4(static_cast<int32_t>(size));
      row.add(u"txt").set_text(part);
      row.add(u"bin").attach_binary(std::vector<uint8_t>(blob));
      table->append_record(row);
      expected.push_back({tk_unicode_to_utf8(part), std::string(blob.begin(), blob.end())});
    }
    table.reset();
    db.finish();
  }
  load(file, db_);
  EXPECT_TRUE(check_.query("SELECT txt, bin FROM big ORDER BY id") == expected) << "a value did not arrive whole";
}

}  // namespace

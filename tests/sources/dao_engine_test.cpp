// The engine-version table, the engine singleton, and the exception built
// from the engine's error collection, including the codes the user's
// messages depend on.
#include "dao_engine.h"

#include "dao_exception.h"
#include "sources_test_support.h"
#include "wb_error_list.h"

using namespace sources_test;

namespace {

constexpr char16_t hdr_no[] = u"Excel 5.0; HDR=No; IMEX=1;";

}  // namespace

TEST(dao_engine, VersionTableCreatesAceAndDao36ButNotDao35) {
  dao_engine engine;
  EXPECT_EQ(engine.version(), dao_engine::no_version);
  EXPECT_FALSE(engine.has_engine());
  struct row {
    int32_t id;
    bool created;
  };
  // Each row also replaces what the row before left.
  const row rows[] = {{3, true}, {0, true}, {1, false}, {3, true}, {2, false}, {0, true}};
  for (const row& r : rows) {
    SCOPED_TRACE(r.id);
    EXPECT_EQ(engine.set_version_if(r.id), r.created);
    EXPECT_EQ(engine.has_engine(), r.created);
    EXPECT_EQ(engine.version(), r.created ? r.id : dao_engine::no_version);
    EXPECT_EQ(engine.errors() != nullptr, r.created);
  }
}

TEST(dao_engine, MissingVersionOrEngineObjectIsAnInternalError) {
  dao_engine engine;
  expect_assertion([&] { engine.set_version_if(4); }, "dao_engi");
  expect_assertion([&] { engine.set_version_if(-1); }, "dao_engi");
  expect_assertion([&] { engine.open_dao_src(u"/nowhere.xlsx", hdr_no, 1); }, "dao_engi");
  ASSERT_FALSE(engine.set_version_if(1));
  expect_assertion([&] { engine.open_dao_src(u"/nowhere.xlsx", hdr_no, 1); }, "dao_engi");
}

TEST(dao_engine, OpenFailuresRaiseDaoExceptionWithTheEngineCodeAndText) {
  testsupport::temp_dir dir;
  const std::string missing = dir.file("missing.xlsx");
  testsupport::write_file(dir.file("noise.xlsx"), "this is not a workbook at all");
  book b;
  worksheet_write_string(b.sheet("S"), 0, 0, "x", nullptr);
  struct row {
    std::string path;
    const char16_t* connect;
    uint32_t code;
    std::string message;
  };
  const row rows[] = {
      {missing, hdr_no, 68560, "Could not find file '" + missing + "'."},
      {fixture("xlsx", "encrypted_secret.xlsx"), hdr_no, 68697, "Could not decrypt file."},
      {dir.file("noise.xlsx"), hdr_no, 68810, "External table is not in the expected format."},
      // The workbook is fine, but the connect string names no Excel driver.
      {b.close(), u";pwd=secret", 68706, "Could not find installable ISAM."},
  };
  engine_scope scope;
  for (const row& r : rows) {
    SCOPED_TRACE(r.path);
    expect_failure([&] { scope.engine.open_dao_src(wide(r.path), r.connect, 1); }, 0, r.code, r.message);
    // The registered engine's collection gives the same exception.
    expect_failure([] { throw dao_exception(); }, 0, r.code, r.message);
  }
}

TEST(dao_engine, UnreadableErrorCollectionRaisesALevelOneError) {
  wb_error_list list;
  expect_failure([] { throw dao_exception(static_cast<const wb_error_list*>(nullptr)); }, 1, 0,
                 "Failed to read the error of the workbook engine (step #1)");
  expect_failure([&] { throw dao_exception(&list); }, 1, 0,
                 "Failed to read the error of the workbook engine (step #2)");
  list.raise(0);
  expect_failure([&] { throw dao_exception(&list); }, 1, 0,
                 "Failed to read the error of the workbook engine (step #4)");
  list.raise(3251);
  expect_failure([&] { throw dao_exception(&list); }, 0, 68787, "Operation is not supported for this type of object.");

  // Without a registered engine, or with one that has no engine object yet.
  expect_failure([] { throw dao_exception(); }, 1, 0, "Failed to read the error of the workbook engine (step #1)");
  dao_engine engine;
  expect_failure([] { throw dao_exception(); }, 1, 0, "Failed to read the error of the workbook engine (step #1)");
}

TEST(dao_engine, OpenedDatabaseKeepsTheModeWithTheOpenedBit) {
  book b;
  worksheet_write_number(b.sheet("Data"), 0, 0, 1, nullptr);
  const std::string path = b.close();
  engine_scope scope;
  for (uint32_t mode : {1u, 1u | 16u, 1u | 128u}) {
    std::unique_ptr<dao_database> db = scope.engine.open_dao_src(wide(path), hdr_no, mode);
    EXPECT_EQ(db->mode(), mode | 32u);
    EXPECT_EQ(db->name(), wide(path));
    EXPECT_EQ(db->tables(), std::vector<std::u16string>{u"Data$"});
  }
  // The Access path opens with an empty connect string, which the workbook engine refuses.
  expect_failure([&] { scope.engine.open_db(wide(path), 1); }, 0, 68706, "Could not find installable ISAM.");
}

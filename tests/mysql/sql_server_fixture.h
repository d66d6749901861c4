#pragma once
// A test on the private server with the destination's own engine connected
// and the test's database opened through it; checks go through the test's
// separate connection (check_).

#include <memory>
#include <string>

#include "mysql_test_server.h"
#include "sql_database.h"
#include "sql_engine.h"
#include "sql_table.h"
#include "tk_unicode.h"
#include "udb_record.h"

class sql_server_fixture : public testsupport::mysql_fixture {
 protected:
  void SetUp() override {
    testsupport::mysql_fixture::SetUp();
    if (HasFatalFailure()) return;
    engine_ = std::make_unique<sql_engine>();
    engine_->connect(address_.host, address_.user, address_.password, address_.port);
    database_ = open(udb_database::mode_append);
  }
  void TearDown() override {
    database_.reset();
    engine_.reset();
    testsupport::mysql_fixture::TearDown();
  }

  std::unique_ptr<sql_database> open(uint32_t mode) {
    std::unique_ptr<udb_database> db = engine_->open_db(tk_utf8_to_unicode(db_), mode);
    return std::unique_ptr<sql_database>(static_cast<sql_database*>(db.release()));
  }
  std::unique_ptr<sql_table> create(const std::u16string& name, const udb_schema& schema,
                                    const udb_indexes& indexes = udb_indexes()) {
    std::unique_ptr<udb_recordset> rs = database_->create_table(name, schema, indexes);
    return std::unique_ptr<sql_table>(static_cast<sql_table*>(rs.release()));
  }
  std::unique_ptr<sql_table> get(const std::u16string& name) {
    std::unique_ptr<udb_recordset> rs = database_->get_table(name, udb_database::mode_append);
    return std::unique_ptr<sql_table>(static_cast<sql_table*>(rs.release()));
  }
  // The session counter of INSERT statements the engine's connection ran.
  long long com_insert() {
    sql_tmp_recordset rs("SHOW SESSION STATUS LIKE 'Com_insert'");
    return std::stoll(rs.get_record()->operator[](1).to_string());
  }

  std::unique_ptr<sql_engine> engine_;
  std::unique_ptr<sql_database> database_;
};

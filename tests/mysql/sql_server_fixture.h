#pragma once
// A test on the private server with the destination's own engine connected
// and the test's database opened through it; checks go through the test's
// separate connection (check_). Also the columns and records the server
// tests share.

#include <algorithm>
#include <functional>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "mysql_test_server.h"
#include "sql_database.h"
#include "sql_engine.h"
#include "sql_exception.h"
#include "sql_table.h"
#include "sql_tmp_recordset.h"
#include "tk_unicode.h"
#include "udb_record.h"

inline t_ftd column(const char16_t* name, VARTYPE vt, uint32_t size, bool auto_inc = false) {
  return t_ftd(size, name, vt, false, auto_inc, ole_variant(), 0);
}

// id INT, txt (long text), bin (long binary).
inline udb_schema id_text_bin_schema() {
  udb_schema schema;
  schema.push_back(column(u"id", VT_I4, 4));
  schema.push_back(column(u"txt", VT_BSTR, 0));
  schema.push_back(column(u"bin", VT_ARRAY_UI1, 0));
  return schema;
}

inline udb_indexes primary_on(const char16_t* field) {
  udb_index key(u"pk", true, true);
  key.fields = {field};
  udb_indexes indexes;
  indexes.push_back(key);
  return indexes;
}

// A record of id_text_bin_schema(); no bytes is NULL.
inline void fill(udb_record& r, int32_t id, std::u16string_view text, const std::vector<uint8_t>& bytes = {}) {
  r.clear();
  r.add(u"id").set_i4(id);
  r[0].set_declared_size(4);
  r.add(u"txt").set_text(text);
  udb_field& bin = r.add(u"bin");
  if (bytes.empty())
    bin.set_null();
  else
    bin.attach_binary(std::span<const uint8_t>(bytes));
}

// `action` must fail with a server error, one of `codes`: level 0 for a
// refused statement (reported, the conversion goes on), level 1 for a lost
// connection (the run ends).
inline void expect_server_error(const std::function<void()>& action, std::initializer_list<unsigned> codes,
                                unsigned level = 0) {
  try {
    action();
    ADD_FAILURE() << "no server error";
  } catch (const sql_exception& e) {
    EXPECT_NE(std::find(codes.begin(), codes.end(), e.error_number()), codes.end()) << e.message();
    EXPECT_EQ(e.level(), level);
  }
}

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

  std::unique_ptr<sql_database> open(uint32_t mode) { return engine_->open_database(tk_utf8_to_unicode(db_), mode); }
  std::unique_ptr<sql_table> create(const std::u16string& name, const udb_schema& schema,
                                    const udb_indexes& indexes = udb_indexes()) {
    std::unique_ptr<udb_recordset> rs = database_->create_table(name, schema, indexes);
    return std::unique_ptr<sql_table>(static_cast<sql_table*>(rs.release()));
  }
  std::unique_ptr<sql_table> get(const std::u16string& name) {
    std::unique_ptr<udb_recordset> rs = database_->get_table(name, udb_database::mode_append);
    return std::unique_ptr<sql_table>(static_cast<sql_table*>(rs.release()));
  }
  // The first cell of a statement run on the engine's own connection.
  std::string engine_scalar(const std::string& sql) {
    sql_tmp_recordset rs(sql, engine_->handle());
    return (*rs.get_record())[0].to_string();
  }
  // A session counter of statements the engine's connection ran
  // (Com_insert, Com_load).
  long long com(const std::string& counter = "Com_insert") {
    sql_tmp_recordset rs("SHOW SESSION STATUS LIKE '" + counter + "'", engine_->handle());
    return std::stoll((*rs.get_record())[1].to_string());
  }
  // Connects again, rows going through LOAD DATA LOCAL or not.
  void reconnect(bool load_data) {
    database_.reset();
    engine_->set_load_data(load_data);
    engine_->connect(address_.host, address_.user, address_.password, address_.port);
    database_ = open(udb_database::mode_append);
  }

  std::unique_ptr<sql_engine> engine_;
  std::unique_ptr<sql_database> database_;
};

#include "dao_engine.h"

#include "dao_database.h"
#include "dao_exception.h"
#include "tk_logger.h"
#include "wb_engine.h"

namespace {
constexpr uint32_t mode_read_only_bit = 0x01;
constexpr uint32_t mode_exclusive_bit = 0x10;
constexpr uint32_t mode_opened_bit = 0x20;
}  // namespace

dao_engine::dao_engine(bool /*com_initialised*/) { TK_TRACE(2, "dao_engine::ctor"); }

dao_engine::~dao_engine() {
  TK_TRACE(2, "dao_engine::dtor");
  uninitialize();
}

void dao_engine::uninitialize() {
  if (!engine_) return;
  TK_TRACE(1, "dao_engine::uninitialize");
  engine_.release();
}

bool dao_engine::set_version_if(int32_t id) {
  TK_TRACE(2, "dao_engine::set_version_if(%d)", id);
  uninitialize();
  const version_row* row = nullptr;
  for (const version_row& r : versions) {
    if (r.id == id) {
      row = &r;
      break;
    }
  }
  if (!row) throw tk_mail_assertion("dao_engi", 441);
  const wb_hresult hr = wb_engine::create_instance(row->class_id, row->interface_id, engine_.receive());
  if (wb_failed(hr) || !engine_) {
    TK_TRACE(3, "CoCreateInstance failed: hr=%08X\n", static_cast<uint32_t>(hr));
    engine_.release();
    return false;
  }
  TK_TRACE(1, "CoCreateInstance succeeded!");
  return true;
}

std::unique_ptr<dao_database> dao_engine::open_dao_src(const std::u16string& file, const std::u16string& connect,
                                                       uint32_t mode) {
  TK_TRACE(2, "dao_engine::open_dao_src(%s, %s)", file, connect);
  if (!engine_) throw tk_mail_assertion("dao_engi", __LINE__);
  ole_com_ptr<wb_database> database;
  const wb_hresult hr = engine_->open_database(file, (mode & mode_exclusive_bit) != 0, (mode & mode_read_only_bit) != 0,
                                               connect, database.receive());
  if (wb_failed(hr)) throw dao_exception(&engine_->errors());
  if (!database) throw tk_exception("The workbook engine reported success but opened no database.", 1);
  return std::make_unique<dao_database>(file, std::move(database), mode | mode_opened_bit);
}

std::unique_ptr<udb_database> dao_engine::create_db(const std::u16string& name, uint32_t mode) {
  TK_TRACE(2, "dao_engine::create_db(%s, %d)", name, mode);
  throw tk_mail_assertion("dao_engi", __LINE__);
}

std::unique_ptr<udb_database> dao_engine::open_db(const std::u16string& name, uint32_t mode) {
  TK_TRACE(2, "dao_engine::open_db(%s, %d)", name, mode);
  return open_dao_src(name, std::u16string(), mode);
}

void dao_engine::db_delete(const std::u16string& name) {
  TK_TRACE(2, "dao_engine::db_delete(%s)", name);
  throw tk_mail_assertion("dao_engi", __LINE__);
}

bool dao_engine::is_db_exist(const std::u16string& name) {
  TK_TRACE(2, "dao_engine::is_db_exist(%s)", name);
  throw tk_mail_assertion("dao_engi", __LINE__);
}

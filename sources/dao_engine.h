#pragma once
// The workbook engine behind the source-independent engine interface. The
// engine object is created by class identifier from the engine-version
// table, like a COM class; the ACE and DAO 3.6 rows resolve to the workbook
// engine of host/, the DAO 3.5 rows are not registered. A singleton: the
// first dao_engine built registers itself (the reader opens workbooks
// through the registered engine), and its destructor clears the
// registration.
//
// Ownership: the engine owns its engine object. Databases returned by
// open_dao_src belong to the caller and do not depend on the dao_engine
// afterwards (the engine object keeps no state they need), but every call
// on them reports its errors into the collection they share with it.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "ole_com_ptr.h"
#include "tk_singleton.h"
#include "udb_engine.h"

class dao_database;
class wb_engine;

class dao_engine : public udb_engine, public tk_singleton<dao_engine> {
 public:
  // The engine interface every row asks for.
  static constexpr std::u16string_view engine_interface_id = u"{00000021-0000-0010-8000-00AA006D2EA4}";

  struct version_row {
    int32_t id;
    std::u16string_view class_id;
    std::u16string_view interface_id;
  };
  // Searched from the first row by version id.
  static constexpr std::array<version_row, 4> versions = {{
      {2, u"{00000100-0000-0010-8000-00AA006D2EA4}", engine_interface_id},  // DAO 3.5
      {1, u"{00000100-0000-0010-8000-00AA006D2EA4}", engine_interface_id},  // DAO 3.5
      {0, u"{00000100-0000-0100-8000-00AA006D2EA4}", engine_interface_id},  // DAO 3.6
      {3, u"{CD7791B9-43FD-42C5-AE42-8DD2811F0419}", engine_interface_id},  // ACE
  }};

  // `com_initialised`: the caller has set up the apartment already. This
  // engine needs no apartment; the flag is accepted for the callers' sake
  // and ignored.
  explicit dao_engine(bool com_initialised = false);
  ~dao_engine() override;

  // Replaces the engine object by one of version `id`. False when that
  // class cannot be created (the object is then gone). An id missing from
  // the table is an internal error.
  bool set_version_if(int32_t id);

  // Opens `file` with the driver's connect string. Mode bits: 1 read-only,
  // 16 exclusive, 128 no queries or views; 32 is added here. A failure of
  // the engine raises dao_exception; no engine object is an internal error.
  std::unique_ptr<dao_database> open_dao_src(const std::u16string& file, const std::u16string& connect, uint32_t mode);

  // udb_engine. Only opening serves workbooks (with an empty connect
  // string, which the workbook engine refuses with DAO 3170); creating,
  // deleting and testing databases are MS Access operations that this
  // agent never calls, and calling them is an internal error.
  std::unique_ptr<udb_database> create_db(const std::u16string& name, uint32_t mode) override;
  std::unique_ptr<udb_database> open_db(const std::u16string& name, uint32_t mode) override;
  void db_delete(const std::u16string& name) override;
  bool is_db_exist(const std::u16string& name) override;

 private:
  void uninitialize();

  ole_com_ptr<wb_engine> engine_;
};

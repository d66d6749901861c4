// The engine object: the stand-in of the desktop database engine that the
// dao_ layer creates by class identifier and uses to open workbooks.
//
// Usage:
//   std::unique_ptr<wb_engine> engine;
//   wb_engine::create_instance(wb_engine::ace_class_id, wb_engine::engine_interface_id, engine);
//   std::unique_ptr<wb_database> db;
//   if (wb_failed(engine->open_database(u"/data/book.xlsx", false, true, u"Excel 5.0; HDR=No; IMEX=1;", db)))
//       ... engine->errors().item(0).number, .description ...
//   std::unique_ptr<wb_query_def> qd;
//   db->create_query_def(u"", u"SELECT * FROM [Sheet1$]", qd);
//   std::unique_ptr<wb_recordset> rs;
//   qd->open_recordset(rs);
//   for (; !rs->eof(); rs->move_next()) ... rs->field(i).value() ...
//
// Errors: every failing call returns a failure HRESULT (0x800A0000 | DAO
// number for DAO errors) and fills the error collection that the engine and
// every object it made share (errors()), with the DAO number and text.
// Objects are single-threaded, like the apartment-threaded originals.
#pragma once

#include <memory>
#include <string_view>

#include "wb_database.h"
#include "wb_error_list.h"
#include "wb_status.h"

class wb_engine {
 public:
  // The ACE engine class and the DAO 3.6 engine class: both resolve to this engine.
  static constexpr std::u16string_view ace_class_id = u"{CD7791B9-43FD-42C5-AE42-8DD2811F0419}";
  static constexpr std::u16string_view dao36_class_id = u"{00000100-0000-0100-8000-00AA006D2EA4}";
  // The DAO 3.5 engine class, which is not registered here.
  static constexpr std::u16string_view dao35_class_id = u"{00000100-0000-0010-8000-00AA006D2EA4}";
  // The only interface offered.
  static constexpr std::u16string_view engine_interface_id = u"{00000021-0000-0010-8000-00AA006D2EA4}";

  // Creates an engine, like CoCreateInstance. Identifiers compare ignoring
  // case. An unknown class fails with wb_e_class_not_registered
  // (REGDB_E_CLASSNOTREG, 0x80040154), an unknown interface with
  // wb_e_no_interface (E_NOINTERFACE).
  static wb_hresult create_instance(std::u16string_view class_id, std::u16string_view interface_id,
                                    std::unique_ptr<wb_engine>& out);

  // Opens the workbook file `name` (a path) read-only. `exclusive` and
  // `read_only` are accepted and make no difference: the engine never
  // writes. `connect` is the driver's connect string (wb_connect_options).
  // Errors: 3024 missing file, 3051 unreadable, 3274 unknown or corrupt
  // format, 3161 encrypted, 3170 connect string without an Excel driver.
  wb_hresult open_database(std::u16string_view name, bool exclusive, bool read_only, std::u16string_view connect,
                           std::unique_ptr<wb_database>& out);

  const wb_error_list& errors() const { return *errors_; }

 private:
  wb_engine() : errors_(std::make_shared<wb_error_list>()) {}
  wb_error_list_ptr errors_;
};

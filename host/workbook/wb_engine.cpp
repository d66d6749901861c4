#include "wb_engine.h"

#include "wb_connect_options.h"
#include "wb_text.h"
#include "wb_workbook_opener.h"

namespace {

bool same_id(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && wb_ascii_equal_ignore_case(a, wb_to_utf8(b));
}

}  // namespace

wb_hresult wb_engine::create_instance(std::u16string_view class_id, std::u16string_view interface_id,
                                      std::unique_ptr<wb_engine>& out) {
  out.reset();
  if (!same_id(class_id, ace_class_id) && !same_id(class_id, dao36_class_id)) return wb_e_class_not_registered;
  if (!same_id(interface_id, engine_interface_id)) return wb_e_no_interface;
  out.reset(new wb_engine());
  return wb_s_ok;
}

wb_hresult wb_engine::open_database(std::u16string_view name, bool exclusive, bool read_only,
                                    std::u16string_view connect, std::unique_ptr<wb_database>& out) {
  (void)exclusive;
  (void)read_only;
  out.reset();
  wb_connect_options options;
  if (!wb_connect_options::parse(connect, options)) return errors_->raise(wb_dao_error::isam_not_found);
  long dao_error = 0;
  std::shared_ptr<wb_workbook_source> workbook = wb_workbook_opener::open(wb_to_utf8(name), dao_error);
  if (!workbook) return errors_->raise(dao_error, name);
  errors_->clear();
  out = std::make_unique<wb_database>(std::move(workbook), std::u16string(name), options.header_row, errors_);
  return wb_s_ok;
}

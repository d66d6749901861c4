// The engine's error collection. The engine, its databases, query
// definitions and recordsets share one list, like DBEngine.Errors: every
// failing call replaces its content with the errors of that call.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "wb_error.h"
#include "wb_status.h"

// DAO error numbers this engine raises.
namespace wb_dao_error {
inline constexpr long no_current_record = 3021;   // BOF or EOF is true
inline constexpr long file_not_found = 3024;      // Could not find file '...'.
inline constexpr long cannot_open_file = 3051;    // no permission, or unreadable
inline constexpr long table_not_found = 3078;     // cannot find the input table
inline constexpr long invalid_sql = 3129;         // not a SELECT statement
inline constexpr long syntax_error_from = 3131;   // Syntax error in FROM clause.
inline constexpr long cannot_decrypt = 3161;      // Could not decrypt file.
inline constexpr long isam_not_found = 3170;      // Could not find installable ISAM.
inline constexpr long temp_space = 3183;          // not enough temporary disk space
inline constexpr long invalid_operation = 3219;   // Invalid operation.
inline constexpr long not_supported = 3251;       // not supported for this type of object
inline constexpr long item_not_found = 3265;      // Item not found in this collection.
inline constexpr long property_not_found = 3270;  // Property not found.
inline constexpr long unexpected_format = 3274;   // External table is not in the expected format.
}  // namespace wb_dao_error

class wb_error_list {
 public:
  std::size_t count() const { return errors_.size(); }
  const wb_error& item(std::size_t index) const { return errors_.at(index); }
  const std::vector<wb_error>& all() const { return errors_; }

  void clear() { errors_.clear(); }

  // Replaces the list with one error and returns its HRESULT. `subject` is
  // the file or object name some descriptions quote; it is UTF-16.
  wb_hresult raise(long number, std::u16string_view subject = {});

  // The DAO description of `number`, with `subject` filled in where the
  // text quotes a name.
  static std::u16string describe(long number, std::u16string_view subject);

 private:
  std::vector<wb_error> errors_;
};

using wb_error_list_ptr = std::shared_ptr<wb_error_list>;

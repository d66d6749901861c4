#include "wb_error_list.h"

wb_hresult wb_error_list::raise(long number, std::u16string_view subject) {
  errors_.clear();
  errors_.push_back(wb_error{number, describe(number, subject)});
  return wb_dao_hresult(number);
}

std::u16string wb_error_list::describe(long number, std::u16string_view subject) {
  namespace e = wb_dao_error;
  std::u16string s;
  switch (number) {
    case e::no_current_record:
      return u"Either BOF or EOF is True, or the current record has been deleted. "
             u"Requested operation requires a current record.";
    case e::file_not_found:
      s = u"Could not find file '";
      s += subject;
      s += u"'.";
      return s;
    case e::cannot_open_file:
      s = u"The database engine cannot open the file '";
      s += subject;
      s += u"'. It is already opened exclusively by another user, or you need permission to view its data.";
      return s;
    case e::table_not_found:
      s = u"The database engine cannot find the input table or query '";
      s += subject;
      s += u"'. Make sure it exists and that its name is spelled correctly.";
      return s;
    case e::invalid_sql:
      return u"Invalid SQL statement; expected 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT', or 'UPDATE'.";
    case e::syntax_error_from:
      return u"Syntax error in FROM clause.";
    case e::cannot_decrypt:
      return u"Could not decrypt file.";
    case e::isam_not_found:
      return u"Could not find installable ISAM.";
    case e::temp_space:
      return u"The query cannot be completed. Either the size of the query result is larger than the maximum "
             u"size of a database (2 GB), or there is not enough temporary disk space to store the query result.";
    case e::invalid_operation:
      return u"Invalid operation.";
    case e::not_supported:
      return u"Operation is not supported for this type of object.";
    case e::item_not_found:
      return u"Item not found in this collection.";
    case e::property_not_found:
      return u"Property not found.";
    case e::unexpected_format:
      return u"External table is not in the expected format.";
    default:
      return u"Unexpected error.";
  }
}

#include "sql_record.h"

#include <memory>

#include "sql_field.h"
#include "tk_logger.h"
#include "tk_mail_assertion.h"
#include "tk_unicode.h"

sql_record::sql_record(unsigned n_fields, MYSQL_ROW row, const unsigned long* lengths, const MYSQL_FIELD* fields,
                       bool blob_to_text) {
  TK_TRACE(1, "sql_record::ctor1(n_fields=%d)", n_fields);
  if (!row || !lengths || !fields) throw tk_mail_assertion("sql_reco", __LINE__);
  TK_TRACE(1, "is_blob_to_text=%d", blob_to_text);
  for (unsigned i = 0; i < n_fields; ++i) {
    const MYSQL_FIELD& column = fields[i];
    TK_TRACE(1, "field #%d has type %d", i, static_cast<int>(column.type));
    TK_TRACE(1, "BINARY FLAG=%d", (column.flags & sql_field::binary_flag) != 0);
    // The cell's text is UTF-8, the session's client encoding; binary cells
    // keep their bytes.
    push_back(std::make_unique<sql_field>(tk_utf8_to_unicode(std::string_view(column.name, column.name_length)),
                                          static_cast<int>(column.type), lengths[i], column.flags, row[i],
                                          blob_to_text));
  }
}

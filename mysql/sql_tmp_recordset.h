#pragma once
// A read-only recordset over one unbuffered result set, read in pages: at
// most `page_rows` records are held at a time, and the next page is fetched
// when the read position passes the end of the current one. Owns the result
// set (freed by the destructor) and the cached records.
//
// While the result is open the connection carries its rows: no other
// statement may be sent on it until the recordset is read to the end or
// destroyed.

#include <mysql.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sql_handles.h"
#include "sql_record.h"
#include "udb_recordset.h"

class sql_tmp_recordset : public udb_recordset {
 public:
  static constexpr size_t page_rows = 1000;

  // Runs `sql` (UTF-8) on `connection` with an unbuffered result; BLOB
  // columns read as text when `blob_to_text`. Throws sql_exception when the
  // statement fails.
  sql_tmp_recordset(std::string_view sql, MYSQL* connection, bool blob_to_text = false);
  ~sql_tmp_recordset() override;

  // The first two columns of the statement's first row as "schema.table";
  // empty when it gives no row.
  static std::u16string first_qualified_name(std::string_view sql, MYSQL* connection);

  void append_record(const udb_record& record) override;  // read-only: an internal error
  udb_record* get_record() override;
  bool is_eof() override;
  void move_next() override;
  void move_prev() override;
  // Back to the start of the current page (rows already passed are gone).
  void reset() override;

  unsigned n_fields() const noexcept { return n_fields_; }
  // The result's column descriptions (valid while the recordset lives).
  const MYSQL_FIELD* fields() const noexcept { return fields_; }
  // Records held now (at most page_rows).
  size_t cache_size() const noexcept { return records_.size(); }

 private:
  void describe();
  void fill_cache();

  MYSQL* connection_;
  sql_result result_;
  unsigned n_fields_ = 0;
  const MYSQL_FIELD* fields_ = nullptr;
  std::vector<std::unique_ptr<sql_record>> records_;
  size_t pos_ = 0;
  bool exhausted_ = false;
  bool blob_to_text_ = false;
};

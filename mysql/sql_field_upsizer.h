#pragma once
// The MySQL form of the CSV field upsizer: widens a column to TEXT,
// MEDIUMTEXT or LONGTEXT with an ALTER TABLE statement run on the
// destination (the server, or the dump file). A value is measured in the
// bytes of the run's character set: exactly for the Unicode sets (utf8,
// utf8mb3 and utf8mb4 as UTF-8; ucs2, utf16 and utf16le at 2 bytes a UTF-16
// unit; utf32 at 4 a character), and for any other set at 1 byte an ASCII
// character and 4 any other, which no set exceeds. A column's own type
// decides where it starts: VARCHAR and CHAR at the beginning, TEXT,
// MEDIUMTEXT and LONGTEXT at their step; any other type is not widened.

#include <string>
#include <string_view>

#include "csv_field_upsizer.h"

class sql_destination;

class sql_field_upsizer : public csv_field_upsizer {
 public:
  // `char_set`: the character set of the run (empty: the server's default,
  // measured as utf8mb4).
  sql_field_upsizer(sql_destination& destination, udb_recordset& table, std::u16string_view char_set);
  ~sql_field_upsizer() override;

 protected:
  uint64_t stored_bytes(std::u16string_view text) const override;
  bool stores_utf8() const override { return measure_ == measure::utf8; }
  step initial_step(const t_ftd& column) const override;
  void do_upsize(const t_ftd& column, step to) override;

 private:
  enum class measure : uint8_t { utf8, utf16, utf32, other };

  sql_destination& destination_;
  measure measure_;
};

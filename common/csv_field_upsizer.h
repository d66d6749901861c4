#pragma once
// Widens destination text columns that prove too narrow for CSV values.
// Every CSV column is created as text of csv_file::column_size characters;
// a longer value widens its column to the smallest of TEXT, MEDIUMTEXT and
// LONGTEXT that holds the value, counted in bytes as the destination stores
// it (stored_bytes). A column steps up only, once per step: later values
// that fit do nothing, a longer one may widen it again (TEXT to MEDIUMTEXT
// to LONGTEXT). Columns that are not text are never widened.
//
// Holds, not owned: the destination database and the destination table,
// whose schema gives the column descriptor of each position.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

struct t_ftd;
class udb_database;
class udb_record;
class udb_recordset;

class csv_field_upsizer {
 public:
  // The types a text column steps through; `fixed` is a column that is not
  // widened.
  enum class step : uint8_t { varchar, text, mediumtext, longtext, fixed };
  // The bytes a TEXT and a MEDIUMTEXT value may take (2^16 - 1, 2^24 - 1).
  static constexpr uint64_t text_max_bytes = 65535;
  static constexpr uint64_t mediumtext_max_bytes = 16777215;

  csv_field_upsizer(udb_database* database, udb_recordset* table);
  virtual ~csv_field_upsizer();

  // Looks at every field of a record about to be appended.
  void process(const udb_record& record);
  // The type of each column so far, by position; an upsizer of a table
  // another upsizer widened already starts from that one's steps.
  const std::vector<step>& steps() const noexcept { return steps_; }
  void assume_steps(const std::vector<step>& steps) { steps_ = steps; }
  // The columns (by position) whose type is the user's choice: never
  // widened, so the server refuses a value they cannot hold.
  void keep(const std::vector<bool>& kept) { kept_ = kept; }

 protected:
  // The bytes `text` takes in the destination's character set. The base
  // counts its UTF-8 length (2 bytes a surrogate, 4 a pair).
  virtual uint64_t stored_bytes(std::u16string_view text) const;
  // Whether stored_bytes is the text's UTF-8 length (a text held as UTF-8
  // is then measured by its bytes).
  virtual bool stores_utf8() const { return true; }
  // The step a destination column starts at. The base: text columns (as the
  // CSV reader makes them) start at varchar, any other is fixed.
  virtual step initial_step(const t_ftd& column) const;
  // Widens one column to `to`; the base does nothing.
  virtual void do_upsize(const t_ftd& column, step to);

  udb_database* database_;
  udb_recordset* table_;

 private:
  std::vector<step> steps_;  // per column position, the type it has now
  std::vector<bool> kept_;
};

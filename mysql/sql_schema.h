#pragma once
// The columns of a MySQL table being defined, guarding MySQL's row-size
// limit (65,535 bytes over the short columns) as columns arrive: when the
// running estimate reaches the limit, the largest short text columns become
// LONGTEXT (declared size 0), largest first, until the estimate fits.

#include <cstdint>
#include <memory>
#include <vector>

#include "udb_schema.h"

class sql_schema : public udb_schema {
 public:
  // MySQL's row-size limit and the bytes a short text character may take.
  static constexpr uint32_t max_row_bytes = 65535;
  static constexpr uint32_t bytes_per_char = 4;
  // Short text columns at or above this size are MEDIUMTEXT already.
  static constexpr uint32_t max_short_text = 21844;
  // Columns declared this large or larger are stored off the row.
  static constexpr uint32_t off_row_size = 5592405;

  sql_schema() = default;
  // A schema built column by column from another one.
  explicit sql_schema(const udb_schema& source);

  void push_back(std::unique_ptr<t_ftd> field) override;
  using udb_schema::push_back;

  uint32_t total_size() const noexcept { return total_size_; }
  // Positions of the short text columns, largest declared size first.
  const std::vector<size_t>& lobs() const noexcept { return lobs_; }

 private:
  // What a row costs beyond the columns' character bytes: the length bytes
  // of short text columns, the pointer of long text and binary columns, and
  // one null bit per column. The estimate alone stops just below the limit,
  // which a 4-byte character set then overruns.
  uint32_t overhead() const noexcept { return overhead_ + static_cast<uint32_t>((fields.size() + 7) / 8); }
  static constexpr uint32_t short_text_length_bytes = 2;
  static constexpr uint32_t long_value_pointer_bytes = 12;

  uint32_t overhead_ = 0;
  uint32_t total_size_ = 0;
  std::vector<size_t> lobs_;
};

#include "table_progress.h"

#include <cstdio>

#include "tk_format.h"
#include "tk_logger.h"
#include "tk_unicode.h"
#include "udb_recordset.h"

table_progress::table_progress(std::u16string table)
    : table_(std::move(table)), start_(std::chrono::steady_clock::now()) {}

double table_progress::seconds() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

std::string table_progress::grouped(uint64_t n) {
  std::string digits = std::to_string(n);
  for (size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, 1, ',');
  return digits;
}

void table_progress::show(const udb_recordset& source) {
  const double elapsed = seconds();
  const uint64_t rows = first_reading_ ? first_read_ : read_;
  std::string line = tk_unicode_to_console(table_);
  line += first_reading_ ? "  reading  " : "  ";
  line += grouped(rows);
  line += " rows";
  int64_t done = 0, total = 0;
  source.read_share(done, total);
  const double share = total > 0 && done > 0 ? static_cast<double>(done) / static_cast<double>(total) : 0;
  if (share > 0) {
    line += tk_format("  %d%% of ", static_cast<int>(share * 100));
    line += total < 10000000 ? tk_format("%d KB", static_cast<int>(total / 1000))
                             : tk_format("%d MB", static_cast<int>(total / 1000000));
  }
  if (elapsed > 0) line += "  " + grouped(static_cast<uint64_t>(static_cast<double>(rows) / elapsed)) + " rows/s";
  if (share > 0 && share < 1) {
    const auto left = static_cast<int>(elapsed * (1 - share) / share);
    line += tk_format("  %d:%02d left", left / 60, left % 60);
  }
  tk_status_line::show(line);
}

void table_progress::finish(bool failed) {
  tk_status_line::clear();
  // Of a table that failed, the rows it read are known, not those the
  // server kept.
  std::string text = tk_unicode_to_console(table_) + ": ";
  if (failed) {
    text += "failed; " + grouped(read_) + " rows read";
    if (rows_stay_) text += ", " + grouped(committed_) + " stored";
  } else {
    text += grouped(read_) + " rows read, " + grouped(stored()) + " stored, ";
    if (held_ > 0) text += grouped(held_) + " passed over (key held), ";
    text += grouped(refused_) + " refused";
    for (size_t i = 0; i < changes_.size(); ++i) text += (i == 0 ? "; " : ", ") + changes_[i];
  }
  text += tk_format("; %.1f s", seconds());
  TK_TRACE(3, "%s", text);
  if (tk_status_line::enabled()) std::fprintf(stderr, "%s\n", text.c_str());
}

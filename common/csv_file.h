#pragma once
// A CSV text file as a source recordset: one schema whose columns are all
// text (VARCHAR(255) until the data says otherwise), and a forward-only
// stream of records.
//
// Reading. The file is read as UTF-8 through a buffer of `buffer_size`
// bytes. A line ends at LF; a CR right before the LF belongs to the line
// end (so CR LF reads as LF, also inside quotes); a lone CR is an ordinary
// character. A logical line joins physical lines while a quote is open; the
// line ends inside it become LF characters of the value. Lines have no
// length limit: memory is bounded by the longest logical line.
//
// Ownership. The csv_file owns the record that get_record returns; it is
// refilled (not reallocated) by the next get_record and is valid until then
// or until the csv_file goes. The caller must not delete it.
//
// Problems that do not stop the reading (a quote still open at the end of
// the file, text that is not UTF-8) are reported as level-0 errors through
// the error handler when one is registered, and traced; the data is kept.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "udb_recordset.h"

class csv_record;
class tk_exception;

// The delimiters of the --csv_delim option, by index: tab, ";", ",", space.
// Null for an index outside the table.
const char16_t* csv_delimiter(int index);

class csv_file : public udb_recordset {
 public:
  static constexpr size_t default_buffer_size = size_t(1) << 20;
  // Every column of a CSV file starts as text of this many characters.
  static constexpr uint32_t column_size = 255;

  // Opens the file and reads the schema from the first line (its field
  // names when `header` is set, F1..Fn otherwise). A file that cannot be
  // opened raises a level-1 tk_exception_ex "Cannot open CSV file '<path>': ".
  csv_file(const std::u16string& file_name, const char16_t* delimiter, bool header,
           size_t buffer_size = default_buffer_size);
  ~csv_file() override;

  udb_record* get_record() override;
  bool is_eof() override;
  void move_next() override;
  // Not supported: an internal error.
  void move_prev() override;
  // Back to the start of the file; the current line is not re-read.
  void reset() override;
  void read_share(int64_t& done, int64_t& total) const override;

  // Reads the next logical line into `line` (emptied first); an empty line
  // at the end of the file.
  void get_line(std::u16string& line);
  // Builds the schema from a line (see the class comment).
  void init_schema(std::u16string_view line, bool header);

  // Problems that do not stop the reading go unreported (a second reading
  // of a file whose first reading reports them).
  void set_quiet(bool quiet) noexcept { quiet_ = quiet; }

  const std::u16string& current_line() const noexcept { return line_; }
  // The 1-based physical line on which the current line starts.
  int64_t current_line_number() const noexcept { return current_line_no_; }
  int64_t file_size() const noexcept { return file_size_; }
  char16_t delimiter() const noexcept { return delimiter_; }
  const std::string& path() const noexcept { return path_; }

 private:
  // The next physical line, without its line end, as a view into the buffer
  // or into carry_ (valid until the next call). Sets at_end_ when the data
  // ended before a line feed.
  std::string_view read_physical();
  bool refill();
  // UTF-8 to UTF-16 onto `out`; invalid sequences become U+FFFD and are
  // reported with the physical line number.
  void decode_append(std::u16string& out, std::string_view bytes, int64_t line_no);
  void report(const tk_exception& e) const;
  void rewind();

  std::string path_;  // the file name in the process code page
  int fd_ = -1;
  int64_t file_size_ = 0;
  char16_t delimiter_;

  std::vector<char> buffer_;
  size_t pos_ = 0;            // next unread byte of buffer_
  size_t len_ = 0;            // bytes of buffer_ filled
  int64_t bytes_read_ = 0;    // bytes read from the file into the buffer
  bool source_done_ = false;  // the file has no more bytes
  bool at_end_ = false;       // the last read reached the end of the file
  std::string carry_;         // a physical line spanning buffer refills

  std::u16string line_;     // the line the next get_record parses
  int64_t lines_read_ = 0;  // physical lines consumed
  int64_t current_line_no_ = 0;
  std::unique_ptr<csv_record> record_;
  bool quiet_ = false;
};

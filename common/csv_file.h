#pragma once
// A CSV text file as a source recordset: one schema whose columns are all
// text (VARCHAR(255) until the data says otherwise), and a forward-only
// stream of records.
//
// Encoding, decided before the first record. A byte-order mark selects
// UTF-8, UTF-16LE or UTF-16BE (and is no part of the first field). Without
// one, a code page given to the constructor decides (csv_encoding names
// them); without that, the file is read as UTF-8 when it is UTF-8
// throughout, and as Windows-1252 otherwise (encoding_guessed() tells the
// caller, who says so); a head of zero bytes in every second byte is UTF-16
// without its mark, read as such (and told as a guess too). The check streams the file through the reader's
// buffer before the first line is read. Of a source that cannot be read
// twice (a pipe) the first 64 KiB are read first and kept: its byte-order
// mark and signature are looked for in them, and the guess is made from
// them (UTF-8 unless a byte of them is not).
//
// Reading. The file is read through a buffer of `buffer_size` bytes; UTF-16
// is turned into UTF-8 as it is read, so lines are split and quotes counted
// on bytes in every encoding. A line ends at LF; a CR right before the LF
// belongs to the line end (so CR LF reads as LF, also inside quotes); a lone
// CR is an ordinary character. A logical line joins physical lines while a quote is open; the
// line ends inside it become LF characters of the value. Lines have no
// length limit: memory is bounded by the longest logical line.
//
// Ownership. The csv_file owns the record that get_record returns; it is
// valid until the next move_next (the records of lines read ahead take
// turns, their storage kept) or until the csv_file goes. The caller must
// not delete it. get_record splits a line once: asked again, it gives the
// same record, as its user left it.
//
// Problems that do not stop the reading are reported as level-0 errors
// through the error handler when one is registered, and traced: a quote
// still open at the end of the file (the data is kept), and a physical line
// that is not text of the file's encoding (its whole logical line, the
// record, is left out, and reading goes on with the next).

#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "csv_encoding.h"
#include "csv_record.h"
#include "tk_exception.h"
#include "udb_recordset.h"

// The delimiters of the --csv_delim option, by index: tab, ";", ",", space.
// Null for an index outside the table.
const char16_t* csv_delimiter(int index);

class csv_file : public udb_recordset {
 public:
  static constexpr size_t default_buffer_size = size_t(1) << 20;
  // Every column of a CSV file starts as text of this many characters.
  static constexpr uint32_t column_size = 255;
  // The most columns a MySQL table has: a first line of more fields is
  // refused (a level-1 tk_exception).
  static constexpr size_t max_columns = 4096;
  // A file of this many bytes or more is checked for UTF-8 in two halves at
  // once.
  static constexpr int64_t split_check_bytes = int64_t{8} << 20;

  // Opens the file, chooses its encoding and reads the schema from the
  // first line (its field names when `header` is set, F1..Fn otherwise). A
  // file that cannot be opened raises a level-1 tk_exception_ex "Cannot open
  // CSV file '<path>': "; a code page that csv_encoding refuses, a level-1
  // tk_exception with its refusal.
  csv_file(const std::u16string& file_name, const char16_t* delimiter, bool header,
           size_t buffer_size = default_buffer_size, std::u16string_view code_page = {});
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
  // The records of the lines read from now on hold their text as UTF-8
  // (csv_record::do_create_utf8) when the file was found UTF-8 throughout,
  // which makes every line well formed; otherwise this does nothing. Set
  // before the first move_next.
  void set_utf8_fields(bool on) noexcept { utf8_lines_ = on && utf8_checked_; }
  // Builds the schema from a line (see the class comment).
  void init_schema(std::u16string_view line, bool header);

  // The records split on the reading thread carry the statistics'
  // readings of their fields (csv_record::note_fields), also those of a
  // second reader. Set before the first move_next.
  void set_noting(bool on) noexcept { noting_ = on; }
  // A column whose statistics are settled needs no more notes of the kinds
  // given (field_note's bits); any thread.
  void drop_notes(size_t field, uint8_t kinds) const noexcept {
    if (wanted_ && field < schema_.size())
      wanted_[field].fetch_and(static_cast<uint8_t>(~kinds), std::memory_order_relaxed);
  }
  // The notes of the record get_record gave last, or null (not noted).
  const field_note* notes() const noexcept { return record_ ? record_->notes() : nullptr; }

  // Problems that do not stop the reading go unreported (a second reading
  // of a file whose first reading reports them).
  void set_quiet(bool quiet) noexcept { quiet_ = quiet; }

  // Whether the source can be read a second time: a pipe or a terminal
  // gives its bytes once, to this reader.
  bool can_read_again() const;
  // A quiet second reader of the same file from its start, in the same
  // encoding and with fields of the same form: the file opened here, even when its path names another file
  // by now. Raises the level-1 "Cannot open CSV file" failure when it
  // cannot be opened; see can_read_again().
  std::unique_ptr<csv_file> read_again() const;

  // The current line's text (empty for a line split as it was read, which
  // keeps none).
  const std::u16string& current_line();
  // The 1-based physical line on which the current line starts.
  int64_t current_line_number() const noexcept {
    if (ahead_) return taken_line_no_;
    return current_line_no_;
  }
  // Lines of more fields than the schema has columns whose surplus text
  // was left out (csv_record::cut), counted as their records are taken, and
  // the first of them.
  int64_t cut_lines() const noexcept { return cut_lines_; }
  int64_t first_cut_line() const noexcept { return first_cut_line_; }
  int64_t file_size() const noexcept { return file_size_; }
  char16_t delimiter() const noexcept { return delimiter_; }
  const std::string& path() const noexcept { return path_; }
  const csv_encoding& encoding() const noexcept { return encoding_; }
  // The file is not UTF-8 and no byte-order mark or code page said what it
  // is: it is read as Windows-1252.
  bool encoding_guessed() const noexcept { return guessed_; }

 private:
  // The next physical line, without its line end, as a view into the buffer
  // or into carry_ (valid until the next call). Sets at_end_ when the data
  // ended before a line feed.
  std::string_view read_physical();
  // get_line into `wide`, or (of a file found UTF-8 throughout) its bytes
  // into `utf8`; the other is null.
  void read_line(std::u16string* wide, std::string* utf8);
  // read_line in the form utf8_lines_ asks for.
  void read_line_as_asked(std::u16string& wide, std::string& utf8) {
    read_line(utf8_lines_ ? nullptr : &wide, utf8_lines_ ? &utf8 : nullptr);
  }
  // Of a file found UTF-8 throughout, with trace lines off: the next
  // logical line split into `record` as it stands in the buffer, in one
  // pass (csv_record::split_buffered); `bytes` its length. The line's text
  // is not kept. False when the buffer does not hold it whole (nothing is
  // read then).
  bool read_buffered(csv_record& record, size_t& bytes);
  // The report of a quote inside a field that opened a section running from
  // line `inside_on` to the current one, of the record that starts on line
  // `first`.
  void report_inside_quote(int64_t inside_on, int64_t first) const;
  // `record` made of a line in the form it was read in.
  void split(csv_record& record, const std::u16string& wide, const std::string& utf8, bool is_utf8) const;
  // A physical line's bytes added to the logical line; false when they are
  // no text of the encoding.
  bool append_piece(std::u16string* wide, std::string* utf8, std::string_view bytes);
  bool refill();
  // After each read: a file written in place while it is read (by a copy
  // over it, an export that empties and writes it) would give a mix of two
  // files, or the head of one; that is a level-1 failure.
  void check_unchanged() const;
  // Reads up to `n` bytes at `offset` without moving the file position;
  // -1 when the source cannot be read that way (a pipe, past its head).
  ssize_t read_at(char* out, size_t n, int64_t offset);
  // Of a pipe: reads its head (up to pipe_head_bytes, or to its end).
  void read_pipe_head();
  // Waits until a pipe has bytes to read (or is at its end), a second at a
  // time: a signal, or the reading thread asked to stop, ends the wait.
  void wait_for_input();
  void choose_encoding(std::u16string_view code_page, const csv_file* first);
  // Of a file without a byte-order mark: whether its head is UTF-16 by its
  // zero bytes, as text of mostly ASCII characters is (in every second
  // byte, in at least half of the units, and in few of the others), and in
  // which byte order. A zero byte is valid UTF-8, but no text means it.
  bool looks_utf16(bool& big_endian);
  // Whether the whole file is UTF-8, read through buffer_ (and a second
  // buffer, from the middle on, of a file of split_check_bytes or more).
  bool is_utf8_throughout();
  // Whether nothing but line ends and Ctrl-Z follows the bytes read.
  bool only_end_marks_follow();
  // Whether a line holds nothing but blanks and delimiters.
  bool is_blank(std::u16string_view line) const;
  // Whether the whole file does, line ends included.
  bool holds_nothing();
  // Whether the file from byte `offset` on holds nothing but the ASCII
  // `characters` (read through read_at: false for a source that cannot be
  // read so).
  bool only_from(int64_t offset, std::string_view characters);
  // A problem of the reading: reported at once, or on the reading thread
  // kept with its line.
  void report(const tk_exception& e) const;
  static void deliver(const tk_exception& e);
  void rewind();
  // The second reader of `first`, reading `fd` (which it takes).
  csv_file(const csv_file& first, int fd);
  // Chooses the encoding (as `first` did, without reading the file through
  // again) and reads the first line and the header; on failure the file is
  // closed.
  void start(std::u16string_view code_page, const csv_file* first);

  std::string path_;  // the file name in the process code page
  int fd_ = -1;
  bool positional_ = true;  // false: a pipe, read once from its start
  static constexpr size_t pipe_head_bytes = size_t{64} << 10;
  std::string pipe_head_;  // a pipe's first bytes, read before the checks
  size_t pipe_pos_ = 0;    // the next byte of pipe_head_ to give
  int64_t file_size_ = 0;
  // The file as it was opened (by the first reader): its size and time of
  // change, for a regular file.
  struct file_state {
    bool regular = false;
    off_t size = 0;
    time_t seconds = 0;
    long nanoseconds = 0;
  } opened_;
  char16_t delimiter_;
  bool header_;
  // The layout of this file's records (udb_record::layout), unlike any other file's.
  const uint64_t layout_ = next_layout();
  static uint64_t next_layout() noexcept;
  size_t buffer_size_;
  std::u16string code_page_;  // as given
  csv_encoding encoding_;
  bool guessed_ = false;
  int64_t data_start_ = 0;  // the first byte after the byte-order mark

  std::vector<char> buffer_;  // the bytes lines are split in (UTF-8 made of UTF-16 input)
  // UTF-16 input: the bytes as read, and their conversion.
  std::vector<char> raw_;
  std::unique_ptr<csv_detail::utf16_to_utf8> utf16_;
  size_t pos_ = 0;            // next unread byte of buffer_
  size_t len_ = 0;            // bytes of buffer_ filled
  int64_t bytes_read_ = 0;    // bytes read from the file into the buffer
  bool source_done_ = false;  // the file has no more bytes
  bool at_end_ = false;       // the last read reached the end of the file
  std::string carry_;         // a physical line spanning buffer refills

  // Reading ahead. From the first move_next on, a thread of the file's own
  // reads and decodes the lines (get_line) and splits them into records,
  // in batches, while the caller works on the records; the caller takes
  // them in order, with the reports each line gave, made on the caller's
  // thread. The thread owns the reading state (buffers, positions, at_end_)
  // while it runs; reset() stops it. A record taken changes places with the
  // caller's last one, which the thread refills once the caller has left
  // the batch it went to.
  struct ahead_line {
    std::u16string text;
    std::string utf8;                    // the line, when utf8_lines_
    std::unique_ptr<csv_record> record;  // the fields of `text`, or null
    bool kept = true;                    // `text` (or `utf8`) holds the line; not so of one split as it was read
    int64_t line_no = 0;
    bool at_end = false;
    int64_t done = 0;  // bytes of the file read up to this line
    std::vector<tk_exception> reports;
    std::exception_ptr error;
  };
  // Each batch on cache lines of its own: the thread counts the lines of
  // one while the caller reads another's.
  struct alignas(64) ahead_batch {
    std::vector<ahead_line> lines;
    size_t count = 0;
    bool last = false;  // the end of the file or a failure is in it
  };
  void start_ahead();
  void stop_ahead();
  void read_ahead();
  void take_ahead_line();

  bool ahead_ = false;
  bool alone_ = false;  // no thread could be started: lines are read on the caller's
  std::thread reader_;
  std::mutex ahead_mutex_;
  std::condition_variable ahead_changed_;
  // A ring of batches: the thread fills them in turn while the caller
  // takes them in the same order, so that neither waits for the other when
  // one of them is slower for a while.
  static constexpr int ahead_batches = 8;
  ahead_batch batches_[ahead_batches];
  int ready_ = 0;      // filled batches waiting for the caller
  int next_full_ = 0;  // the first of them
  int filling_ = 0;    // the batch the thread fills
  bool stopping_ = false;
  std::atomic<bool> stop_waiting_{false};  // stopping_, seen by a wait for a pipe's bytes
  ahead_line* reporting_ = nullptr;        // where the thread's reports go
  int64_t lines_read_ = 0;                 // physical lines consumed
  int64_t current_line_no_ = 0;
  bool utf8_checked_ = false;  // every byte of the file was found UTF-8
  bool utf8_lines_ = false;    // lines are read as UTF-8 bytes
  bool noting_ = false;
  std::unique_ptr<std::atomic<uint8_t>[]> wanted_;  // per column: the notes asked
  bool quiet_ = false;

  // The caller's side, on cache lines of its own: the thread's reading
  // does not write to them.
  alignas(64) int taking_ = -1;  // the batch the caller takes lines from, or -1
  size_t next_ = 0;              // the next line of batches_[taking_]
  bool taken_at_end_ = false;
  int64_t taken_line_no_ = 0;
  int64_t taken_done_ = 0;
  std::u16string line_;    // the line get_record splits
  std::string line_utf8_;  // the same, when line_is_utf8_
  bool line_is_utf8_ = false;
  bool line_kept_ = true;  // line_ (or line_utf8_) holds the line: not so of one split as it was read
  bool parsed_ = false;    // record_ holds the line's fields already (split on the thread, or asked for)
  std::unique_ptr<csv_record> record_;
  int64_t cut_lines_ = 0;
  int64_t first_cut_line_ = 0;
  int64_t last_cut_line_ = 0;
};

#include "csv_file.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <unordered_map>
#include <unordered_set>

#include "csv_field.h"
#include "csv_record.h"
#include "error_handler.h"
#include "tk_exception_ex.h"
#include "tk_interrupt.h"
#include "tk_logger.h"
#include "tk_mail_assertion.h"
#include "tk_unicode.h"
#include "tk_wstring.h"
#include "udb_validator.h"

namespace {

// The room (UTF-16 units) a slot of the reading thread keeps for its line
// and for its record's fields: a longer line's go, so that the slots keep a
// few MiB at most. Wide records keep 64 units a field.
size_t kept_units(size_t columns) { return std::max(size_t{1} << 13, 64 * columns); }

constexpr const char16_t* delimiters[] = {u"\t", u";", u",", u" "};

// Pieces appended, one per collision, to make a header name unique.
constexpr std::u16string_view uniqueness_cycle[] = {u"_", u"1", u"_", u"2", u"_", u"3"};

bool odd_quotes(std::string_view bytes) { return (std::count(bytes.begin(), bytes.end(), '"') & 1) != 0; }

// How a line (starting inside quotes or not) leaves a quoted section open:
// 1 when a quote inside a field (not at its start, after blanks) opened it,
// as in `5" screen`; 0 when one at a field's start did; -1 when the line
// opens none that stays open (a doubled quote in quotes is a quote).
int opening_left(std::string_view bytes, char delimiter, bool quoted) {
  int opening = -1;
  for (size_t at = bytes.find('"'); at != std::string_view::npos; at = bytes.find('"', at + 1)) {
    if (quoted) {
      if (at + 1 < bytes.size() && bytes[at + 1] == '"') {
        ++at;
      } else {
        quoted = false;
      }
      continue;
    }
    size_t i = at;
    while (i > 0 && bytes[i - 1] != delimiter && (bytes[i - 1] == ' ' || bytes[i - 1] == '\t')) --i;
    opening = i > 0 && bytes[i - 1] != delimiter ? 1 : 0;
    quoted = true;
  }
  return quoted ? opening : -1;
}

// Whether a line holds a carriage return outside quotes: in a file without
// a line feed, that is a file whose lines end with CR alone.
bool cr_outside_quotes(std::u16string_view line) {
  bool quoted = false;
  for (const char16_t c : line) {
    if (c == u'"') quoted = !quoted;
    if (c == u'\r' && !quoted) return true;
  }
  return false;
}

// Enough of a file's start to hold any byte-order mark.
constexpr size_t byte_order_mark_bytes = 3;

}  // namespace

const char16_t* csv_delimiter(int index) {
  if (index < 0 || index >= static_cast<int>(std::size(delimiters))) return nullptr;
  return delimiters[index];
}

uint64_t csv_file::next_layout() noexcept {
  static std::atomic<uint64_t> last{0};
  return ++last;
}

csv_file::csv_file(const std::u16string& file_name, const char16_t* delimiter, bool header, size_t buffer_size,
                   std::u16string_view code_page)
    : udb_recordset(nullptr, std::u16string(), std::u16string()),
      delimiter_(delimiter ? delimiter[0] : u'\0'),
      header_(header),
      buffer_size_(std::max<size_t>(buffer_size, 1)),
      buffer_(buffer_size_) {
  TK_ASSERT(delimiter != nullptr && delimiter[0] != u'\0', "csv_util");
  path_ = tk_unicode_to_ansi(file_name);
  TK_TRACE(2, "csv_file::ctor(%s)", file_name);
  fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) throw tk_exception_ex("Cannot open CSV file '" + path_ + "': ", 1, errno);
  start(code_page, nullptr);
}

csv_file::csv_file(const csv_file& first, int fd)
    : udb_recordset(nullptr, std::u16string(), std::u16string()),
      path_(first.path_),
      fd_(fd),
      delimiter_(first.delimiter_),
      header_(first.header_),
      buffer_size_(first.buffer_size_),
      buffer_(buffer_size_),
      noting_(first.noting_),
      quiet_(true) {
  start(first.code_page_, &first);
  utf8_lines_ = first.utf8_lines_;
}

void csv_file::start(std::u16string_view code_page, const csv_file* first) {
  struct stat st {};
  if (::fstat(fd_, &st) == 0) {
    file_size_ = static_cast<int64_t>(st.st_size);
    // A second reading is of the file as the first one found it.
    opened_ =
        first ? first->opened_ : file_state{S_ISREG(st.st_mode), st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
  }
  positional_ = ::lseek(fd_, 0, SEEK_CUR) >= 0;
  TK_TRACE(1, "=== Got file size: %ld ===", file_size_);
  TK_TRACE(2, "csv_file::reset");
  try {
    if (!positional_) read_pipe_head();
    // A workbook or a compressed file given as a CSV file would be read as
    // text of another code page: a table of its bytes.
    char head[10];
    const ssize_t n = read_at(head, sizeof head, 0);
    const std::string_view start_bytes(head, n > 0 ? static_cast<size_t>(n) : 0);
    // A bzip2 stream: "BZh", its block size, the magic of a block or of the
    // end (text may start with "BZh").
    const bool bzip2 = start_bytes.size() == sizeof head && start_bytes.starts_with("BZh") && head[3] >= '1' &&
                       head[3] <= '9' &&
                       (start_bytes.substr(4) == std::string_view("\x31\x41\x59\x26\x53\x59", 6) ||
                        start_bytes.substr(4) == std::string_view("\x17\x72\x45\x38\x50\x90", 6));
    bool binary = bzip2;
    for (const std::string_view signature :
         {std::string_view("PK\x03\x04"), std::string_view("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8),
          std::string_view("\x1F\x8B"),
          std::string_view("\xFD"
                           "7zXZ\0",
                           6)})
      binary = binary || start_bytes.starts_with(signature);
    if (binary)
      throw tk_exception("CSV file '" + path_ +
                             "' is no text but a workbook or a compressed file: convert a workbook without "
                             "--from_csv, uncompress a file first",
                         1);
    choose_encoding(code_page, first);
    rewind();
    get_line(line_);
    // A file with nothing in it (or nothing but line ends, blanks and
    // delimiters) is most likely an export that failed: it names no
    // column and holds no value, and would replace a table by an empty one
    // of an invented column.
    if ((at_end_ && line_.empty()) || (is_blank(line_) && holds_nothing()))
      throw tk_exception("CSV file '" + path_ + "' is empty: there is nothing to convert", 1);
    // Only LF ends a line: a file without one whose lines end with CR would
    // be one line, its rows the names of a table's columns, and not a row
    // stored. A line of column names with a CR in it is such a file too
    // (an editor may have added one LF at its end).
    if ((at_end_ || header_) && cr_outside_quotes(line_))
      throw tk_exception("CSV file '" + path_ +
                             "' ends its lines with a carriage return (CR) alone, which ends no line here: convert "
                             "its line ends to LF or CR LF",
                         1);
    init_schema(line_, header_);
    // The first record's line: as UTF-8, which its fields then keep as it
    // stands, when the file is UTF-8 throughout (a long line costs its
    // length once, not twice over as UTF-16).
    if (header_ && utf8_checked_) {
      line_is_utf8_ = true;
      read_line(nullptr, &line_utf8_);
    } else if (header_) {
      get_line(line_);
    }
  } catch (...) {
    // A code page refused or a first line that cannot be read ends the
    // construction: the file is closed here, since no destructor will run.
    ::close(fd_);
    fd_ = -1;
    throw;
  }
}

bool csv_file::can_read_again() const { return ::lseek(fd_, 0, SEEK_CUR) >= 0; }

std::unique_ptr<csv_file> csv_file::read_again() const {
  // Through this process's own descriptor: another file renamed over the
  // path since would give the second reading other rows than the first.
  const std::string self = "/proc/self/fd/" + std::to_string(fd_);
  int fd = ::open(self.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw tk_exception_ex("Cannot open CSV file '" + path_ + "': ", 1, errno);
  return std::unique_ptr<csv_file>(new csv_file(*this, fd));
}

csv_file::~csv_file() {
  stop_ahead();
  record_.reset();
  if (fd_ >= 0) ::close(fd_);
}

ssize_t csv_file::read_at(char* out, size_t n, int64_t offset) {
  if (!positional_) {
    // Of a pipe only its head is known.
    if (offset < 0) return -1;
    // Past the head: the end, when the head took in the whole pipe.
    if (static_cast<size_t>(offset) >= pipe_head_.size()) return pipe_head_.size() < pipe_head_bytes ? 0 : -1;
    const size_t got = std::min(n, pipe_head_.size() - static_cast<size_t>(offset));
    std::memcpy(out, pipe_head_.data() + offset, got);
    return static_cast<ssize_t>(got);
  }
  for (;;) {
    const ssize_t got = ::pread(fd_, out, n, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && errno != ESPIPE) throw tk_exception_ex("Cannot read CSV file '" + path_ + "': ", 1);
    return got;
  }
}

void csv_file::choose_encoding(std::u16string_view code_page, const csv_file* first) {
  code_page_ = code_page;
  char head[byte_order_mark_bytes];
  size_t got = 0;
  ssize_t n = 0;
  for (; got < sizeof head; got += static_cast<size_t>(n)) {
    n = read_at(head + got, sizeof head - got, static_cast<int64_t>(got));
    if (n <= 0) break;
  }
  data_start_ = static_cast<int64_t>(csv_encoding::byte_order_mark(std::string_view(head, got), encoding_));
  if (data_start_ == 0) {
    if (!code_page.empty()) {
      encoding_ = csv_encoding::named(code_page);
    } else if (first && first->guessed_) {
      const csv_encoding::kind was = first->encoding_.get_kind();
      encoding_ = was == csv_encoding::kind::utf16le   ? csv_encoding::named(u"UTF-16LE")
                  : was == csv_encoding::kind::utf16be ? csv_encoding::named(u"UTF-16BE")
                                                       : csv_encoding::windows_1252();
      guessed_ = true;
    } else if (bool big_endian = false; !first && looks_utf16(big_endian)) {
      encoding_ = csv_encoding::named(big_endian ? u"UTF-16BE" : u"UTF-16LE");
      guessed_ = true;
    } else if (!first && !is_utf8_throughout()) {
      encoding_ = csv_encoding::windows_1252();
      guessed_ = true;
    } else {
      // Of a file (not of a pipe's head alone) every line is UTF-8 now.
      utf8_checked_ = first ? first->utf8_checked_ : positional_;
    }
  }
  TK_TRACE(3, "CSV file '%s' is read as %s%s", path_, encoding_.name(),
           data_start_ ? " (byte-order mark)"
           : guessed_  ? " (not UTF-8)"
                       : "");
  if (encoding_.is_utf16()) {
    raw_.resize(std::max<size_t>(buffer_.size(), 2));
    buffer_.resize(csv_detail::utf16_to_utf8::max_output(raw_.size()));
    utf16_ = std::make_unique<csv_detail::utf16_to_utf8>(encoding_.get_kind() == csv_encoding::kind::utf16be);
  }
}

bool csv_file::only_end_marks_follow() {
  for (size_t i = pos_; i < len_; ++i)
    if (buffer_[i] != '\r' && buffer_[i] != '\n' && buffer_[i] != '\x1A') return false;
  if (utf16_ && (bytes_read_ & 1) != 0) return false;  // half a unit pending: not known
  return only_from(data_start_ + bytes_read_, "\r\n\x1A");
}

bool csv_file::is_blank(std::u16string_view line) const {
  return std::all_of(line.begin(), line.end(),
                     [this](char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == delimiter_; });
}

bool csv_file::holds_nothing() {
  return only_from(data_start_, std::string(" \t\r\n") + static_cast<char>(delimiter_));
}

bool csv_file::only_from(int64_t offset, std::string_view characters) {
  // UTF-16 in units: the high byte of an ASCII character's is 0.
  const bool wide = encoding_.is_utf16();
  const bool big_endian = encoding_.get_kind() == csv_encoding::kind::utf16be;
  char bytes[4096];
  for (;;) {
    const ssize_t n = read_at(bytes, sizeof bytes, offset);
    if (n < 0) return false;  // a pipe: not known
    if (n == 0) return true;
    for (ssize_t i = 0; i < n; ++i) {
      const bool high = wide && (((offset + i - data_start_) & 1) == 0) == big_endian;
      if (high ? bytes[i] != 0 : characters.find(bytes[i]) == std::string_view::npos) return false;
    }
    offset += n;
  }
}

bool csv_file::looks_utf16(bool& big_endian) {
  char head[4096];
  size_t got = 0;
  for (ssize_t n = 0; got < sizeof head; got += static_cast<size_t>(n)) {
    n = read_at(head + got, sizeof head - got, static_cast<int64_t>(got));
    if (n <= 0) break;
  }
  got &= ~size_t{1};
  if (got < 4) return false;
  size_t zeros[2] = {0, 0};  // in the even and in the odd bytes
  for (size_t i = 0; i < got; ++i) zeros[i & 1] += head[i] == '\0';
  // A character such as U+4E00 or U+3000 has a zero in its other byte:
  // a few such zeros do not decide against UTF-16.
  const size_t units = got / 2;
  big_endian = zeros[0] * 2 >= units && zeros[1] * 8 <= zeros[0];
  return big_endian || (zeros[1] * 2 >= units && zeros[0] * 8 <= zeros[1]);
}

bool csv_file::is_utf8_throughout() {
  if (!positional_) {
    // Of a pipe only its head is known: UTF-8 unless a byte of it is not
    // (unless it is the whole pipe, it may end inside a sequence).
    csv_detail::utf8_check check;
    check.feed(pipe_head_);
    return pipe_head_.size() < pipe_head_bytes ? check.valid() : !check.failed();
  }
  // A large file is checked in two halves at once, the second on a thread
  // of its own. It starts at a character: up to three continuation bytes at
  // the middle end the first half's last character.
  int64_t middle = file_size_ >= split_check_bytes ? file_size_ / 2 : -1;
  if (middle > 0) {
    unsigned char next[3] = {};
    const ssize_t n = read_at(reinterpret_cast<char*>(next), sizeof next, middle);
    for (ssize_t i = 0; i < n && (next[i] & 0xC0) == 0x80; ++i) ++middle;
  }
  std::atomic<bool> failed{false};
  // Checks the bytes from `offset` to `end` (-1: to the end of the file)
  // through `buffer`; the first byte that is not UTF-8 decides, for both.
  auto check_range = [this, &failed](int64_t offset, int64_t end, std::vector<char>& buffer) {
    csv_detail::utf8_check check;
    while (!failed && (end < 0 || offset < end)) {
      const size_t want = end < 0 ? buffer.size() : std::min(buffer.size(), static_cast<size_t>(end - offset));
      const ssize_t n = read_at(buffer.data(), want, offset);
      if (n <= 0) break;
      check.feed(std::string_view(buffer.data(), static_cast<size_t>(n)));
      if (check.failed()) failed = true;
      offset += n;
    }
    if (!check.valid()) failed = true;
  };
  std::thread second;
  std::exception_ptr second_error;
  std::vector<char> second_buffer;
  if (middle > 0) {
    try {
      second_buffer.resize(buffer_.size());
      second = std::thread([&] {
        try {
          check_range(middle, -1, second_buffer);
        } catch (...) {
          second_error = std::current_exception();
          failed = true;
        }
      });
    } catch (const std::system_error&) {
      middle = -1;  // no thread to be had: the whole file here
    }
  }
  {
    // Joined also when the first half cannot be read.
    struct joined {
      std::thread& thread;
      std::atomic<bool>& failed;
      ~joined() {
        if (!thread.joinable()) return;
        if (std::uncaught_exceptions() > 0) failed = true;
        thread.join();
      }
    } join{second, failed};
    check_range(0, middle, buffer_);
  }
  if (second_error) std::rethrow_exception(second_error);
  return !failed;
}

void csv_file::read_pipe_head() {
  pipe_head_.resize(pipe_head_bytes);
  size_t got = 0;
  while (got < pipe_head_.size()) {
    wait_for_input();
    const ssize_t n = ::read(fd_, pipe_head_.data() + got, pipe_head_.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw tk_exception_ex("Cannot read CSV file '" + path_ + "': ", 1);
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  pipe_head_.resize(got);
}

void csv_file::wait_for_input() {
  for (;;) {
    pollfd p{fd_, POLLIN, 0};
    const int ready = ::poll(&p, 1, 1000);
    if (ready > 0 || (ready < 0 && errno != EINTR)) return;
    // Between waits: the run asked to stop by a signal, or the caller no
    // longer wanting the lines.
    tk_interrupt::check();
    if (stop_waiting_) throw tk_exception("CSV file '" + path_ + "': the reading was stopped", 1);
  }
}

bool csv_file::refill() {
  if (source_done_) return false;
  for (;;) {
    std::vector<char>& target = utf16_ ? raw_ : buffer_;
    ssize_t n;
    if (pipe_pos_ < pipe_head_.size()) {
      // A pipe's head comes first, from where the data starts.
      n = static_cast<ssize_t>(std::min(target.size(), pipe_head_.size() - pipe_pos_));
      std::memcpy(target.data(), pipe_head_.data() + pipe_pos_, static_cast<size_t>(n));
      pipe_pos_ += static_cast<size_t>(n);
    } else {
      if (!positional_) wait_for_input();
      n = ::read(fd_, target.data(), target.size());
    }
    if (n < 0 && errno == EINTR) continue;
    // A read error is no end of the file: the rows after it would be lost
    // without a word. The run stops with the reason; what was read is kept.
    if (n < 0) throw tk_exception_ex("Cannot read CSV file '" + path_ + "': ", 1);
    // Bytes read once the file was written anew are no row of it: looked at
    // before they are used, the rows already given are all of the file as
    // opened.
    check_unchanged();
    pos_ = 0;
    if (n == 0) {
      source_done_ = true;
      len_ = utf16_ ? utf16_->finish(buffer_.data()) : 0;
      return len_ > 0;
    }
    bytes_read_ += n;
    len_ = utf16_ ? utf16_->convert(raw_.data(), static_cast<size_t>(n), buffer_.data()) : static_cast<size_t>(n);
    // UTF-16 input may give nothing yet: half a unit, or a high surrogate.
    if (len_ > 0) return true;
  }
}

void csv_file::check_unchanged() const {
  struct stat st {};
  if (!opened_.regular || ::fstat(fd_, &st) != 0) return;
  if (st.st_size != opened_.size || st.st_mtim.tv_sec != opened_.seconds || st.st_mtim.tv_nsec != opened_.nanoseconds)
    throw tk_exception("CSV file '" + path_ + "' was changed while it was read", 1);
}

std::string_view csv_file::read_physical() {
  carry_.clear();
  bool carried = false;
  std::string_view line;
  for (;;) {
    if (pos_ == len_ && !refill()) {
      at_end_ = true;
      line = carried ? std::string_view(carry_) : std::string_view();
      break;
    }
    const char* start = buffer_.data() + pos_;
    const size_t avail = len_ - pos_;
    const auto* lf = static_cast<const char*>(std::memchr(start, '\n', avail));
    if (lf) {
      const size_t n = static_cast<size_t>(lf - start);
      pos_ += n + 1;
      if (carried) {
        carry_.append(start, n);
        line = carry_;
      } else {
        line = std::string_view(start, n);
      }
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      break;
    }
    carry_.append(start, avail);
    carried = true;
    pos_ = len_;
  }
  ++lines_read_;
  return line;
}

void csv_file::report(const tk_exception& e) const {
  TK_TRACE(3, "%s", e.message());
  if (quiet_) return;
  // On the reading thread the report waits for its line to be taken.
  if (reporting_) return reporting_->reports.push_back(e);
  deliver(e);
}

void csv_file::deliver(const tk_exception& e) {
  if (error_handler* handler = error_handler::instance_ptr()) {
    // The report names the file and the line itself; a table and record of
    // an earlier report do not belong before it.
    handler->reset_context();
    handler->handle(e);
  }
}

void csv_file::get_line(std::u16string& line) { read_line(&line, nullptr); }

bool csv_file::append_piece(std::u16string* wide, std::string* utf8, std::string_view bytes) {
  if (wide) return encoding_.decode_append(*wide, bytes);
  if (utf8) utf8->append(bytes);
  return true;
}

void csv_file::read_line(std::u16string* wide, std::string* utf8) {
  TK_TRACE(2, "csv_file::get_line");
  for (;;) {
    if (wide) wide->clear();
    if (utf8) utf8->clear();
    const int64_t first = lines_read_ + 1;
    current_line_no_ = first;
    int64_t bad_line = 0;  // the first physical line that is not text of the encoding
    std::string_view bytes = read_physical();
    if (!append_piece(wide, utf8, bytes)) bad_line = first;
    bool open = odd_quotes(bytes);
    // The line whose quote in mid-field opened a section carried past it.
    int64_t inside_on = open && opening_left(bytes, static_cast<char>(delimiter_), false) == 1 ? first : 0;
    bool left_open = false;  // to the end of the file
    int64_t opened_on = first;
    while (open) {
      if (at_end_) {
        tk_exception unclosed("CSV file '" + path_ + "': the quote opened on line " + std::to_string(opened_on) +
                                  " is not closed at the end of the file",
                              0);
        // Opened in the line of column names, it takes the whole file into
        // that line: no list of columns, no row.
        if (first == 1 && header_) throw tk_exception(unclosed.message(), 1);
        report(unclosed);
        left_open = true;
        break;
      }
      const int64_t line_no = lines_read_ + 1;
      bytes = read_physical();
      if (wide) *wide += u'\n';
      if (utf8) *utf8 += '\n';
      if (!bad_line && !append_piece(wide, utf8, bytes)) bad_line = line_no;
      const auto quotes = std::count(bytes.begin(), bytes.end(), '"');
      if (quotes & 1) {
        open = false;
      } else if (quotes > 0) {
        // Closed and opened again on this line (or quotes doubled in it).
        if (const int opening = opening_left(bytes, static_cast<char>(delimiter_), true); opening >= 0) {
          opened_on = line_no;
          if (opening == 1 && inside_on == 0) inside_on = line_no;
        }
      }
    }
    // A quote in mid-field that opens a section makes the lines up to the
    // next quote one record: told, since that is seldom what was meant.
    if (inside_on != 0 && !left_open) report_inside_quote(inside_on, first);
    if (!bad_line) break;
    // The line ends and quotes were found in the bytes, so the lines after
    // it are read as they stand.
    report(tk_exception("CSV file '" + path_ + "', line " + std::to_string(bad_line) + " cannot be read as " +
                            encoding_.name() + ": the record is left out",
                        0));
    if (at_end_) {
      if (wide) wide->clear();
      if (utf8) utf8->clear();
      break;
    }
  }
  // Ctrl-Z after the last line end is the end-of-file mark of old
  // programs: a line of it, with nothing but line ends and more of it
  // after, is no record.
  const bool marks = wide ? !wide->empty() && wide->find_first_not_of(u'\x1A') == std::u16string::npos
                          : utf8 && !utf8->empty() && utf8->find_first_not_of('\x1A') == std::string::npos;
  if (marks && (at_end_ || only_end_marks_follow())) {
    while (!at_end_) read_physical();
    if (wide) wide->clear();
    if (utf8) utf8->clear();
  }
}

void csv_file::report_inside_quote(int64_t inside_on, int64_t first) const {
  report(tk_exception("CSV file '" + path_ + "', line " + std::to_string(inside_on) +
                          ": a quote inside a field opens a quoted section that ends on line " +
                          std::to_string(lines_read_) + "; lines " + std::to_string(first) + " to " +
                          std::to_string(lines_read_) + " are one record",
                      0));
}

bool csv_file::read_buffered(csv_record& record, size_t& bytes) {
  csv_record::buffered_line line;
  const char* start = buffer_.data() + pos_;
  if (pos_ >= len_ || !record.split_buffered(std::string_view(start, len_ - pos_), static_cast<char>(delimiter_), line))
    return false;
  const int64_t first = lines_read_ + 1;
  current_line_no_ = first;
  lines_read_ += line.lines;
  pos_ += line.bytes;
  bytes = line.bytes;
  if (line.inside_on != 0) report_inside_quote(first + line.inside_on - 1, first);
  return true;
}

void csv_file::init_schema(std::u16string_view line, bool header) {
  TK_TRACE(2, "csv_file::init_schema(%s)", line);
  // A first line of more fields than a table may have columns is no list of
  // columns (a file whose lines do not end at LF, a binary file): refused
  // before its fields are made, which would take long and much memory.
  size_t count = 1;
  bool quoted = false;
  for (const char16_t c : line) {
    if (c == u'"') quoted = !quoted;
    if (c == delimiter_ && !quoted && ++count > max_columns)
      throw tk_exception("CSV file '" + path_ + "' has more than " + std::to_string(max_columns) +
                             " fields in its first line: a table holds at most " + std::to_string(max_columns) +
                             " columns",
                         1);
  }
  udb_schema names;
  csv_record fields(&names);
  fields.do_create(line, delimiter_);
  // A field's name, or for a field without one (or without the header
  // flag) a made-up one (F1, F2, ...), with whether it is made up.
  const auto name_of = [&](size_t i, bool& made_up) {
    std::u16string name;
    if (header) {
      std::u16string_view text = fields[i].text();
      size_t b = text.find_first_not_of(u' ');
      size_t e = text.find_last_not_of(u' ');
      if (b != std::u16string_view::npos) name.assign(text.substr(b, e - b + 1));
    }
    made_up = name.empty();
    if (made_up) name = csv_field::default_name(i + 1);
    return name;
  };
  // A made-up name is none the line gives (a duplicate's, a nameless
  // field's): that column keeps it.
  std::unordered_set<std::u16string> given;  // case folded
  for (size_t i = 0; i < fields.size(); ++i) {
    bool made_up = false;
    std::u16string name = name_of(i, made_up);
    if (!made_up) given.insert(udb_fold_case(name));
  }
  std::unordered_set<std::u16string> taken;           // the names so far, case folded
  std::unordered_map<std::u16string, size_t> pieces;  // per taken base: the pieces its last duplicate got, less one
  for (size_t i = 0; i < fields.size(); ++i) {
    bool made_up = false;
    std::u16string name = name_of(i, made_up);
    std::u16string folded = udb_fold_case(name);
    if (taken.count(folded) != 0 || (made_up && given.count(folded) != 0)) {
      // The names of a base with fewer pieces than its last duplicate got
      // are all taken: the search starts past them (a header of one name
      // a thousand times is not a thousand searches from the start).
      const std::u16string base = folded;
      size_t j = 0;
      if (const auto last = pieces.find(base); last != pieces.end())
        for (; j <= last->second; ++j) name += uniqueness_cycle[j % std::size(uniqueness_cycle)];
      for (folded = udb_fold_case(name); taken.count(folded) != 0 || given.count(folded) != 0;
           folded = udb_fold_case(name))
        name += uniqueness_cycle[j++ % std::size(uniqueness_cycle)];
      pieces[base] = j - 1;
    }
    taken.insert(std::move(folded));
    schema_.push_back(t_ftd(column_size, std::move(name), VT_BSTR, false, false, ole_variant(), 0));
  }
}

const std::u16string& csv_file::current_line() {
  if (line_is_utf8_) {
    line_.clear();
    if (line_kept_) tk_append_utf16(line_, line_utf8_);
  }
  return line_;
}

udb_record* csv_file::get_record() {
  // A line is split once (on the reading thread, or here): a second call
  // gives the same record, as its user left it.
  if (!parsed_) {
    if (!record_) record_ = std::make_unique<csv_record>(&schema_, layout_);
    split(*record_, line_, line_utf8_, line_is_utf8_);
    parsed_ = true;
  }
  if (record_->cut() && current_line_number() != last_cut_line_) {
    last_cut_line_ = current_line_number();
    if (cut_lines_++ == 0) first_cut_line_ = last_cut_line_;
  }
  return record_.get();
}

void csv_file::split(csv_record& record, const std::u16string& wide, const std::string& utf8, bool is_utf8) const {
  if (is_utf8)
    record.do_create_utf8(utf8, static_cast<char>(delimiter_));
  else
    record.do_create(wide, delimiter_);
}

bool csv_file::is_eof() {
  // While the thread reads ahead its state is its own: only what was taken
  // is looked at.
  // (The thread's at_end_ is read only when no thread runs: the reading
  // must not be merged into one that loads both.)
  const bool empty = line_kept_ && (line_is_utf8_ ? line_utf8_.empty() : line_.empty());
  if (ahead_) return taken_at_end_ && empty;
  return empty && std::atomic_ref<bool>(at_end_).load(std::memory_order_relaxed);
}

void csv_file::move_next() {
  if (!ahead_ && !alone_) start_ahead();
  if (ahead_) {
    take_ahead_line();
  } else {
    line_is_utf8_ = utf8_lines_;
    line_kept_ = true;
    parsed_ = false;
    read_line_as_asked(line_, line_utf8_);
  }
}

void csv_file::start_ahead() {
  // Up to 128 lines a batch, and no more fields than 16 Ki: every line
  // keeps a record of its own.
  const size_t batch_lines = std::clamp<size_t>((size_t{1} << 14) / std::max<size_t>(schema_.size(), 1), 1, 128);
  for (ahead_batch& b : batches_) {
    b.lines.resize(batch_lines);
    b.count = 0;
    b.last = false;
  }
  ready_ = 0;
  next_full_ = 0;
  filling_ = 0;
  taking_ = -1;
  next_ = 0;
  stopping_ = false;
  stop_waiting_ = false;
  taken_at_end_ = at_end_;
  taken_line_no_ = current_line_no_;
  taken_done_ = bytes_read_ - static_cast<int64_t>(len_ - pos_);
  if (noting_ && !wanted_) {
    wanted_ = std::make_unique<std::atomic<uint8_t>[]>(schema_.size());
    for (size_t i = 0; i < schema_.size(); ++i) wanted_[i] = field_note::number_read | field_note::date_read;
  }
  ahead_ = true;
  try {
    reader_ = std::thread(&csv_file::read_ahead, this);
  } catch (const std::system_error&) {
    // No thread to be had: the caller reads the lines itself.
    ahead_ = false;
    alone_ = true;
  }
}

void csv_file::stop_ahead() {
  if (!ahead_) return;
  {
    std::lock_guard<std::mutex> lock(ahead_mutex_);
    stopping_ = true;
  }
  stop_waiting_ = true;
  ahead_changed_.notify_all();
  reader_.join();
  ahead_ = false;
  // The reading state is the thread's last; the caller's line stays.
  at_end_ = taken_at_end_;
  current_line_no_ = taken_line_no_;
}

void csv_file::read_ahead() {
  const size_t keep = kept_units(schema_.size());
  // (A line read so gives no trace lines of its reading and splitting.)
  const bool fused = utf8_lines_ && !tk_trace_on(2);
  for (;;) {
    ahead_batch& b = batches_[filling_];
    b.count = 0;
    b.last = false;
    // A batch holds up to 128 lines and, past its first line, up to 1 MiB
    // of text: long lines do not pile up ahead of the caller.
    size_t bytes = 0;
    while (b.count < b.lines.size() && bytes < (size_t{1} << 20)) {
      ahead_line& l = b.lines[b.count++];
      l.reports.clear();
      l.error = nullptr;
      reporting_ = &l;
      // A record that held a long line is not kept for the next: the slots
      // would keep that room each. A line that cannot be split here (no
      // memory) is split by the caller, whose failure it then is.
      try {
        if (!l.record || l.record->held() > keep) l.record = std::make_unique<csv_record>(&schema_, layout_);
      } catch (...) {
        l.record.reset();
      }
      // A line the buffer holds whole is split as it is read.
      bool split_here = false;
      size_t line_bytes = 0;
      try {
        split_here = l.record && fused && read_buffered(*l.record, line_bytes);
        if (!split_here) {
          read_line_as_asked(l.text, l.utf8);
          line_bytes = utf8_lines_ ? l.utf8.size() : l.text.size() * sizeof(char16_t);
        }
      } catch (...) {
        l.error = std::current_exception();
      }
      reporting_ = nullptr;
      l.kept = !split_here;
      l.line_no = current_line_no_;
      l.at_end = at_end_;
      l.done = bytes_read_ - static_cast<int64_t>(len_ - pos_);
      bytes += line_bytes;
      if (l.error || (at_end_ && l.kept && (utf8_lines_ ? l.utf8.empty() : l.text.empty()))) {
        b.last = true;
        break;
      }
      if (!split_here && l.record) {
        try {
          split(*l.record, l.text, l.utf8, utf8_lines_);
        } catch (...) {
          l.record.reset();
        }
      }
      // Without notes the caller reads the fields itself.
      if (noting_ && l.record) {
        try {
          l.record->note_fields(wanted_.get());
        } catch (...) {
        }
      }
    }
    std::unique_lock<std::mutex> lock(ahead_mutex_);
    if (stopping_) return;
    ++ready_;
    ahead_changed_.notify_all();
    if (b.last) return;
    // The next batch of the ring is filled once the caller has left it:
    // the batches in use (waiting, and the one taken) are those before it.
    ahead_changed_.wait(lock, [this] { return stopping_ || ready_ + (taking_ >= 0 ? 1 : 0) < ahead_batches; });
    if (stopping_) return;
    filling_ = (filling_ + 1) % ahead_batches;
  }
}

void csv_file::take_ahead_line() {
  if (taking_ < 0 || next_ == batches_[taking_].count) {
    if (taking_ >= 0 && batches_[taking_].last) {
      // Past the end: the end again, as a reading without the thread gives.
      line_.clear();
      line_utf8_.clear();
      line_kept_ = true;
      parsed_ = false;
      taken_at_end_ = true;
      return;
    }
    std::unique_lock<std::mutex> lock(ahead_mutex_);
    taking_ = -1;
    ahead_changed_.notify_all();
    ahead_changed_.wait(lock, [this] { return ready_ > 0; });
    taking_ = next_full_;
    next_full_ = (next_full_ + 1) % ahead_batches;
    --ready_;
    next_ = 0;
    ahead_changed_.notify_all();
  }
  ahead_line& l = batches_[taking_].lines[next_++];
  // The thread wrote the lines on the other core: what the next ones hold is
  // fetched while this one is worked on, a step of the way further for
  // each (the line, its record, the record's fields, their text), each
  // step reading what the one before fetched.
  const ahead_batch& b = batches_[taking_];
  if (next_ + 4 < b.count) {
    const char* line = reinterpret_cast<const char*>(&b.lines[next_ + 4]);
    for (size_t at = 0; at < sizeof(ahead_line); at += 64) __builtin_prefetch(line + at);
  }
  for (int step = 0; step < 4; ++step) {
    const size_t k = next_ + 3 - static_cast<size_t>(step);
    if (k < b.count && b.lines[k].record) b.lines[k].record->prefetch(step);
  }
  for (const tk_exception& e : l.reports) deliver(e);
  if (l.error) std::rethrow_exception(l.error);
  line_is_utf8_ = utf8_lines_;
  line_kept_ = l.kept;
  if (!l.kept)
    line_utf8_.clear();
  else if (utf8_lines_)
    line_utf8_.swap(l.utf8);
  else
    line_.swap(l.text);
  parsed_ = l.record != nullptr;
  if (parsed_) record_.swap(l.record);
  // The slot keeps the caller's last buffer (and record) for a later line,
  // unless it grew large.
  if (l.text.capacity() > kept_units(schema_.size())) std::u16string().swap(l.text);
  if (l.utf8.capacity() > kept_units(schema_.size())) std::string().swap(l.utf8);
  taken_line_no_ = l.line_no;
  taken_at_end_ = l.at_end;
  taken_done_ = l.done;
}

void csv_file::move_prev() { throw tk_mail_assertion("../../common/csv_util", 340); }

void csv_file::rewind() {
  // A pipe is read once, from its head on (past its byte-order mark).
  if (!positional_) {
    if (bytes_read_ > static_cast<int64_t>(pipe_head_.size())) throw tk_mail_assertion("../../common/csv_util", 600);
    pipe_pos_ = static_cast<size_t>(data_start_);
  } else if (::lseek(fd_, static_cast<off_t>(data_start_), SEEK_SET) != data_start_) {
    throw tk_exception_ex("Cannot read CSV file '" + path_ + "': ", 1);
  }
  if (utf16_) utf16_->reset();
  pos_ = len_ = 0;
  bytes_read_ = 0;
  source_done_ = false;
  at_end_ = false;
  lines_read_ = 0;
}

void csv_file::read_share(int64_t& done, int64_t& total) const {
  if (ahead_)
    done = taken_done_;
  else
    done = bytes_read_ - static_cast<int64_t>(len_ - pos_);
  total = file_size_;
}

void csv_file::reset() {
  TK_TRACE(2, "csv_file::reset");
  stop_ahead();
  rewind();
}

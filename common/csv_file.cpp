#include "csv_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "csv_field.h"
#include "csv_record.h"
#include "error_handler.h"
#include "tk_exception_ex.h"
#include "tk_logger.h"
#include "tk_mail_assertion.h"
#include "tk_unicode.h"
#include "tk_wstring.h"

namespace {

constexpr const char16_t* delimiters[] = {u"\t", u";", u",", u" "};

// Pieces appended, one per collision, to make a header name unique.
constexpr std::u16string_view uniqueness_cycle[] = {u"_", u"1", u"_", u"2", u"_", u"3"};

bool odd_quotes(std::string_view bytes) { return (std::count(bytes.begin(), bytes.end(), '"') & 1) != 0; }

// UTF-8 to UTF-16 onto `out` in one pass, with a fast path for runs of
// ASCII. Each invalid sequence (the longest prefix of a valid sequence, or
// one byte) becomes U+FFFD; returns false when there was one.
bool decode_utf8(std::u16string& out, std::string_view bytes) {
  const size_t old = out.size();
  // UTF-16 never needs more units than UTF-8 has bytes.
  out.resize(old + bytes.size());
  char16_t* dst = out.data() + old;
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto* end = p + bytes.size();
  bool valid = true;
  while (p < end) {
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    while (end - p >= 16) {
      const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      if (_mm_movemask_epi8(x)) break;  // a byte of 0x80 or more
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_unpacklo_epi8(x, zero));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 8), _mm_unpackhi_epi8(x, zero));
      p += 16;
      dst += 16;
    }
    if (p == end) break;
#endif
    const unsigned c = *p;
    if (c < 0x80) {
      *dst++ = static_cast<char16_t>(c);
      ++p;
      continue;
    }
    unsigned need = 0;
    char32_t cp = 0;
    unsigned char lo = 0x80, hi = 0xBF;  // range of the second byte (no overlongs, surrogates, > U+10FFFF)
    if (c >= 0xC2 && c <= 0xDF) {
      need = 1;
      cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      need = 2;
      cp = c & 0x0F;
      if (c == 0xE0) lo = 0xA0;
      if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      need = 3;
      cp = c & 0x07;
      if (c == 0xF0) lo = 0x90;
      if (c == 0xF4) hi = 0x8F;
    }
    unsigned got = 0;
    if (need) {
      for (; got < need && p + 1 + got < end; ++got) {
        const unsigned char b = p[1 + got];
        if (got == 0 ? (b < lo || b > hi) : (b & 0xC0) != 0x80) break;
        cp = (cp << 6) | (b & 0x3F);
      }
    }
    if (!need || got < need) {
      valid = false;
      *dst++ = char16_t(0xFFFD);
      p += 1 + got;
      continue;
    }
    p += 1 + need;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      *dst++ = static_cast<char16_t>(0xD800 + (cp >> 10));
      *dst++ = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      *dst++ = static_cast<char16_t>(cp);
    }
  }
  out.resize(static_cast<size_t>(dst - out.data()));
  return valid;
}

}  // namespace

const char16_t* csv_delimiter(int index) {
  if (index < 0 || index >= static_cast<int>(std::size(delimiters))) return nullptr;
  return delimiters[index];
}

csv_file::csv_file(const std::u16string& file_name, const char16_t* delimiter, bool header, size_t buffer_size)
    : udb_recordset(nullptr, std::u16string(), std::u16string()),
      delimiter_(delimiter ? delimiter[0] : u'\0'),
      buffer_(std::max<size_t>(buffer_size, 1)) {
  TK_ASSERT(delimiter != nullptr && delimiter[0] != u'\0', "csv_util");
  path_ = tk_unicode_to_ansi(file_name);
  TK_TRACE(2, "csv_file::ctor(%s)", file_name);
  fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) throw tk_exception_ex("Cannot open CSV file '" + path_ + "': ", 1, errno);
  struct stat st {};
  if (::fstat(fd_, &st) == 0) file_size_ = static_cast<int64_t>(st.st_size);
  TK_TRACE(1, "=== Got file size: %ld ===", file_size_);
  TK_TRACE(2, "csv_file::reset");
  try {
    get_line(line_);
    init_schema(line_, header);
    if (header) get_line(line_);
  } catch (...) {
    // A first line that cannot be read ends the construction: the file is
    // closed here, since no destructor will run.
    ::close(fd_);
    fd_ = -1;
    throw;
  }
}

csv_file::~csv_file() {
  record_.reset();
  if (fd_ >= 0) ::close(fd_);
}

bool csv_file::refill() {
  if (source_done_) return false;
  for (;;) {
    ssize_t n = ::read(fd_, buffer_.data(), buffer_.size());
    if (n < 0 && errno == EINTR) continue;
    // A read error is no end of the file: the rows after it would be lost
    // without a word. The run stops with the reason; what was read is kept.
    if (n < 0) throw tk_exception_ex("Cannot read CSV file '" + path_ + "': ", 1);
    if (n == 0) {
      source_done_ = true;
      pos_ = len_ = 0;
      return false;
    }
    pos_ = 0;
    len_ = static_cast<size_t>(n);
    bytes_read_ += n;
    return true;
  }
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

void csv_file::decode_append(std::u16string& out, std::string_view bytes, int64_t line_no) {
  if (decode_utf8(out, bytes)) return;
  // Text that is not UTF-8 ends the reading of the file at that line: the
  // records before it are converted, none is stored with its text altered.
  throw tk_exception_ex(
      "Cannot convert to UNICODE string: CSV file '" + path_ + "', line " + std::to_string(line_no) + ": ", 0, EILSEQ);
}

void csv_file::report(const tk_exception& e) const {
  TK_TRACE(3, "%s", e.message());
  if (quiet_) return;
  if (error_handler* handler = error_handler::instance_ptr()) handler->handle(e);
}

void csv_file::get_line(std::u16string& line) {
  TK_TRACE(2, "csv_file::get_line");
  line.clear();
  const int64_t first = lines_read_ + 1;
  current_line_no_ = first;
  std::string_view bytes = read_physical();
  decode_append(line, bytes, first);
  bool open = odd_quotes(bytes);
  int64_t opened_on = first;
  while (open) {
    if (at_end_) {
      report(tk_exception("CSV file '" + path_ + "': the quote opened on line " + std::to_string(opened_on) +
                              " is not closed at the end of the file",
                          0));
      break;
    }
    const int64_t line_no = lines_read_ + 1;
    bytes = read_physical();
    line += u'\n';
    decode_append(line, bytes, line_no);
    const auto quotes = std::count(bytes.begin(), bytes.end(), '"');
    if (quotes & 1) {
      open = false;
    } else if (quotes > 0) {
      // Closed and opened again on this line.
      opened_on = line_no;
    }
  }
  TK_TRACE(1, "result=%s", line);
}

void csv_file::init_schema(std::u16string_view line, bool header) {
  TK_TRACE(2, "csv_file::init_schema(%s)", line);
  udb_schema names;
  csv_record fields(&names);
  fields.do_create(line, delimiter_);
  for (size_t i = 0; i < fields.size(); ++i) {
    std::u16string name;
    if (header) {
      std::u16string_view text = fields[i].text();
      size_t b = text.find_first_not_of(u' ');
      size_t e = text.find_last_not_of(u' ');
      if (b != std::u16string_view::npos) name.assign(text.substr(b, e - b + 1));
    }
    if (name.empty()) name = csv_field::default_name(i + 1);
    for (size_t j = 0; schema_.find_field(name); ++j) name += uniqueness_cycle[j % std::size(uniqueness_cycle)];
    schema_.push_back(t_ftd(column_size, std::move(name), VT_BSTR, false, false, ole_variant(), 0));
  }
}

udb_record* csv_file::get_record() {
  if (!record_) record_ = std::make_unique<csv_record>(&schema_);
  record_->do_create(line_, delimiter_);
  return record_.get();
}

bool csv_file::is_eof() { return at_end_ && line_.empty(); }

void csv_file::move_next() { get_line(line_); }

void csv_file::move_prev() { throw tk_mail_assertion("../../common/csv_util", 340); }

void csv_file::rewind() {
  if (::lseek(fd_, 0, SEEK_SET) != 0) throw tk_exception_ex("Cannot read CSV file '" + path_ + "': ", 1);
  pos_ = len_ = 0;
  bytes_read_ = 0;
  source_done_ = false;
  at_end_ = false;
  lines_read_ = 0;
}

void csv_file::read_share(int64_t& done, int64_t& total) const {
  done = bytes_read_ - static_cast<int64_t>(len_ - pos_);
  total = file_size_;
}

void csv_file::reset() {
  TK_TRACE(2, "csv_file::reset");
  rewind();
}

#include "wb_xml_scanner.h"

#include <algorithm>
#include <array>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "wb_error_list.h"

namespace {

// Byte classes.
enum : std::uint8_t {
  k_name_start = 1,  // A-Z a-z _ : and the bytes of multi-byte sequences
  k_name = 2,        // a name start, a digit, '.' or '-'
  k_space = 4,       // space, tab, LF, CR
  k_text = 8,        // needs a look in character data: < & ] CR, controls, bytes >= 0x80
  k_value = 16,      // needs a look in an attribute value: < & " ' tab LF CR, controls, bytes >= 0x80
  k_bad = 32,        // never allowed: the controls other than tab, LF and CR
};

constexpr std::array<std::uint8_t, 256> make_classes() {
  std::array<std::uint8_t, 256> t{};
  for (int b = 0; b < 256; ++b) {
    std::uint8_t v = 0;
    const bool letter = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || b == '_' || b == ':';
    if (letter || b >= 0x80) v |= k_name_start | k_name;
    if ((b >= '0' && b <= '9') || b == '.' || b == '-') v |= k_name;
    if (b == ' ' || b == '\t' || b == '\n' || b == '\r') v |= k_space;
    if (b < 0x20 && b != '\t' && b != '\n' && b != '\r') v |= k_bad | k_text | k_value;
    if (b == '<' || b == '&' || b == ']' || b == '\r' || b >= 0x80) v |= k_text;
    if (b == '<' || b == '&' || b == '"' || b == '\'' || b == '\t' || b == '\n' || b == '\r' || b >= 0x80) v |= k_value;
    t[static_cast<std::size_t>(b)] = v;
  }
  return t;
}

constexpr std::array<std::uint8_t, 256> classes = make_classes();

inline std::uint8_t cls(char c) { return classes[static_cast<unsigned char>(c)]; }
inline bool high(char c) { return static_cast<unsigned char>(c) >= 0x80; }

// Skips the bytes of character data that need no look (k_text clear); may
// stop early at a tab or LF. Long texts go sixteen bytes at a time.
inline char* skip_plain_text(char* q, char* e) {
#if defined(__SSE2__)
  const __m128i lt = _mm_set1_epi8('<'), amp = _mm_set1_epi8('&'), bracket = _mm_set1_epi8(']');
  const __m128i space = _mm_set1_epi8(0x20);
  while (e - q >= 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
    // Signed, bytes >= 0x80 are below 0x20 as well.
    const __m128i stop = _mm_or_si128(_mm_or_si128(_mm_cmplt_epi8(v, space), _mm_cmpeq_epi8(v, lt)),
                                      _mm_or_si128(_mm_cmpeq_epi8(v, amp), _mm_cmpeq_epi8(v, bracket)));
    const int mask = _mm_movemask_epi8(stop);
    if (mask != 0) return q + __builtin_ctz(static_cast<unsigned>(mask));
    q += 16;
  }
#endif
  while (q < e && !(cls(*q) & k_text)) ++q;
  return q;
}

// The length of the UTF-8 sequence of an XML character starting at `p` with
// a byte >= 0x80: > 0 when valid, 0 when the buffer ends inside a sequence
// that is valid so far, -1 when invalid (overlong forms, surrogates, beyond
// U+10FFFF, U+FFFE and U+FFFF).
int utf8_sequence(const char* p, const char* e) {
  const auto* u = reinterpret_cast<const unsigned char*>(p);
  const unsigned c = u[0];
  int n = 0;
  unsigned lo = 0x80, hi = 0xBF;
  if (c < 0xC2) return -1;
  if (c < 0xE0) {
    n = 2;
  } else if (c < 0xF0) {
    n = 3;
    if (c == 0xE0) lo = 0xA0;
    if (c == 0xED) hi = 0x9F;
  } else if (c < 0xF5) {
    n = 4;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;
  } else {
    return -1;
  }
  const std::ptrdiff_t available = e - p;
  for (int i = 1; i < n; ++i) {
    if (i >= available) return 0;
    const unsigned b = u[i];
    if (i == 1 ? (b < lo || b > hi) : (b < 0x80 || b > 0xBF)) return -1;
  }
  if (c == 0xEF && u[1] == 0xBF && u[2] >= 0xBE) return -1;
  return n;
}

bool xml_char(std::uint32_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
         (c >= 0x10000 && c <= 0x10FFFF);
}

std::size_t put_utf8(std::uint32_t c, char* out) {
  if (c < 0x80) {
    out[0] = static_cast<char>(c);
    return 1;
  }
  if (c < 0x800) {
    out[0] = static_cast<char>(0xC0 | (c >> 6));
    out[1] = static_cast<char>(0x80 | (c & 0x3F));
    return 2;
  }
  if (c < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (c >> 12));
    out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (c & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (c >> 18));
  out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (c & 0x3F));
  return 4;
}

// The reference starting at `p` ('&'): its length up to and with the ';',
// 0 when the buffer ends inside it, -1 when it is malformed or names an
// entity other than the five predefined ones (there is no DTD to define
// more). Sets `c` to the character it stands for.
std::ptrdiff_t reference(const char* p, const char* e, std::uint32_t& c) {
  const char* q = p + 1;
  if (q == e) return 0;
  if (*q == '#') {
    if (++q == e) return 0;
    const bool hex = *q == 'x';
    if (hex && ++q == e) return 0;
    std::uint32_t v = 0;
    int digits = 0;
    for (;; ++q) {
      if (q == e) return 0;
      const char d = *q;
      std::uint32_t digit = 0;
      if (d >= '0' && d <= '9')
        digit = static_cast<std::uint32_t>(d - '0');
      else if (hex && d >= 'a' && d <= 'f')
        digit = static_cast<std::uint32_t>(d - 'a' + 10);
      else if (hex && d >= 'A' && d <= 'F')
        digit = static_cast<std::uint32_t>(d - 'A' + 10);
      else if (d == ';')
        break;
      else
        return -1;
      v = v * (hex ? 16 : 10) + digit;
      if (v > 0x10FFFF) v = 0x110000;  // saturates: no character
      ++digits;
    }
    if (digits == 0 || !xml_char(v)) return -1;
    c = v;
    return q + 1 - p;
  }
  const char* name = q;
  for (;; ++q) {
    if (q == e) return 0;
    if (*q == ';') break;
    if (q - name == 4 || !(cls(*q) & k_name)) return -1;  // "quot" and "apos" are the longest
  }
  const std::string_view n(name, static_cast<std::size_t>(q - name));
  if (n == "lt")
    c = '<';
  else if (n == "gt")
    c = '>';
  else if (n == "amp")
    c = '&';
  else if (n == "quot")
    c = '"';
  else if (n == "apos")
    c = '\'';
  else
    return -1;
  return q + 1 - p;
}

// Decodes a checked attribute value in place: references replaced by their
// characters, each literal tab, LF, CR or CR LF by one space. The result is
// never longer than the source. Returns its new end.
char* normalize_value(char* v, char* end) {
  char* w = v;
  for (char* r = v; r < end;) {
    const char c = *r;
    if (c == '&') {
      std::uint32_t ch = 0;
      const std::ptrdiff_t n = reference(r, end, ch);
      r += n;
      w += put_utf8(ch, w);
    } else if (c == '\r') {
      *w++ = ' ';
      r += (r + 1 < end && r[1] == '\n') ? 2 : 1;
    } else if (c == '\t' || c == '\n') {
      *w++ = ' ';
      ++r;
    } else {
      *w++ = *r++;
    }
  }
  return w;
}

bool ascii_iequal(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    char y = b[i];
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

}  // namespace

wb_xml_scanner::wb_xml_scanner(wb_byte_reader& reader, wb_xml_handler& handler)
    : reader_(reader), handler_(handler), buffer_(new char[chunk_size]), capacity_(chunk_size) {
  spans_.reserve(16);
  attributes_.reserve(33);
  open_names_.reserve(256);
  open_offsets_.reserve(32);
  reset();
}

void wb_xml_scanner::reset() {
  handler_.xml_names_ = &names_;
  names_.reset();
  begin_ = end_ = 0;
  open_names_.clear();
  open_offsets_.clear();
  started_ = root_seen_ = in_cdata_ = done_ = declined_ = false;
  error_ = 0;
}

bool wb_xml_scanner::restart() {
  reset();
  if (!reader_.rewind()) {
    error_ = reader_.error() != 0 ? reader_.error() : wb_dao_error::unexpected_format;
    done_ = true;
    return false;
  }
  return true;
}

bool wb_xml_scanner::parse_all() {
  while (parse_chunk()) {
  }
  return error_ == 0 && !declined_;
}

bool wb_xml_scanner::parse_chunk() {
  if (done_) return false;
  // The unfinished token moves to the front; a token as large as the
  // buffer makes it grow.
  if (begin_ > 0) {
    std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  if (end_ == capacity_) {
    std::unique_ptr<char[]> bigger(new char[capacity_ * 2]);
    std::memcpy(bigger.get(), buffer_.get(), end_);
    buffer_ = std::move(bigger);
    capacity_ *= 2;
  }
  const long n = reader_.read(buffer_.get() + end_, capacity_ - end_);
  if (n < 0) {
    error_ = reader_.error() != 0 ? reader_.error() : wb_dao_error::unexpected_format;
    done_ = true;
    return false;
  }
  end_ += static_cast<std::size_t>(n);
  switch (scan(n == 0)) {
    case step::more:
      return true;
    case step::done:
      break;
    case step::decline:
      declined_ = true;
      break;
    case step::fail:
      error_ = wb_dao_error::unexpected_format;
      break;
  }
  done_ = true;
  return false;
}

wb_xml_scanner::step wb_xml_scanner::scan(bool final) {
  char* p = buffer_.get() + begin_;
  char* const e = buffer_.get() + end_;
  step s = step::done;
  if (!started_) {
    s = prolog(p, e, final);
    if (s == step::fail || s == step::decline) return s;
    if (s == step::more) {
      if (final) return step::fail;
      return step::more;
    }
  }
  if (in_cdata_) {
    // The CDATA section the last chunk ended in goes on.
    s = cdata(p, e, final);
    if (s == step::fail) return s;
  }
  while (s != step::more && p < e) {
    if (*p != '<') {
      if (open_offsets_.empty()) {
        // Outside the root element only white space may stand.
        while (p < e && (cls(*p) & k_space)) ++p;
        if (p < e && *p != '<') return step::fail;
        continue;
      }
      s = text(p, e, final);
    } else if (p + 1 == e) {
      s = step::more;
    } else if (p[1] == '/') {
      s = end_tag(p, e);
    } else if (p[1] == '?' || p[1] == '!') {
      s = markup(p, e);
      if (s == step::done && in_cdata_) s = cdata(p, e, final);
    } else {
      s = start_tag(p, e);
    }
    if (s == step::fail) return s;
    if (s == step::more) break;
  }
  begin_ = static_cast<std::size_t>(p - buffer_.get());
  if (!final) return step::more;
  // At the end nothing may be left unfinished.
  if (p != e || !root_seen_ || !open_offsets_.empty() || in_cdata_) return step::fail;
  return step::done;
}

// The byte order mark and the XML declaration. Anything that is not plain
// UTF-8 with an ordinary declaration is declined: expat knows the rest.
wb_xml_scanner::step wb_xml_scanner::prolog(char*& p, char* e, bool final) {
  if (!final && e - p < 9) return step::more;
  const auto* u = reinterpret_cast<const unsigned char*>(p);
  const std::ptrdiff_t size = e - p;
  for (std::ptrdiff_t i = 0; i < size && i < 4; ++i)
    if (u[i] == 0) return step::decline;  // UTF-16 or UTF-32 without a byte order mark
  if (size > 0 && (u[0] == 0xFE || u[0] == 0xFF)) return step::decline;
  char* q = p;
  if (size >= 3 && u[0] == 0xEF && u[1] == 0xBB && u[2] == 0xBF) q += 3;
  if (e - q >= 6 && std::memcmp(q, "<?xml", 5) == 0 && (cls(q[5]) & k_space)) {
    char* close = nullptr;
    for (char* c = q + 5; c + 1 < e; ++c) {
      if (c[0] == '?' && c[1] == '>') {
        close = c;
        break;
      }
    }
    if (close == nullptr) return final ? step::decline : step::more;
    // version="1.n" [encoding="UTF-8"] [standalone="yes"|"no"]
    const std::string_view decl(q + 5, static_cast<std::size_t>(close - q - 5));
    std::size_t i = 0;
    int order = 0;
    for (;;) {
      std::size_t spaces = 0;
      while (i < decl.size() && (cls(decl[i]) & k_space)) ++i, ++spaces;
      if (i == decl.size()) break;
      if (spaces == 0) return step::decline;
      const std::size_t name_at = i;
      while (i < decl.size() && decl[i] >= 'a' && decl[i] <= 'z') ++i;
      const std::string_view name = decl.substr(name_at, i - name_at);
      while (i < decl.size() && (cls(decl[i]) & k_space)) ++i;
      if (i == decl.size() || decl[i] != '=') return step::decline;
      ++i;
      while (i < decl.size() && (cls(decl[i]) & k_space)) ++i;
      if (i == decl.size() || (decl[i] != '"' && decl[i] != '\'')) return step::decline;
      const char quote = decl[i++];
      const std::size_t value_end = decl.find(quote, i);
      if (value_end == std::string_view::npos) return step::decline;
      const std::string_view value = decl.substr(i, value_end - i);
      i = value_end + 1;
      if (name == "version" && order == 0) {
        if (value.size() < 3 || value.substr(0, 2) != "1.") return step::decline;
        for (char c : value.substr(2))
          if (c < '0' || c > '9') return step::decline;
        order = 1;
      } else if (name == "encoding" && order == 1) {
        if (!ascii_iequal(value, "UTF-8")) return step::decline;
        order = 2;
      } else if (name == "standalone" && (order == 1 || order == 2)) {
        if (value != "yes" && value != "no") return step::decline;
        order = 3;
      } else {
        return step::decline;
      }
    }
    if (order == 0) return step::decline;
    q = close + 2;
  }
  p = q;
  started_ = true;
  return step::done;
}

void wb_xml_scanner::emit_text(std::string_view piece) {
  if (!piece.empty()) handler_.on_text(piece);
}

// Character data inside the root element, up to the next '<'. Pieces are
// reported as they are checked; a reference, CR or "]]" cut by the end of
// the buffer waits for the next chunk.
wb_xml_scanner::step wb_xml_scanner::text(char*& p, char* e, bool final) {
  char* run = p;
  char* q = p;
  for (;;) {
    q = skip_plain_text(q, e);
    if (q == e) {
      emit_text({run, static_cast<std::size_t>(q - run)});
      p = q;
      return step::more;
    }
    const char c = *q;
    if (!(cls(c) & k_text)) {  // a tab or LF
      ++q;
      continue;
    }
    if (c == '<') {
      emit_text({run, static_cast<std::size_t>(q - run)});
      p = q;
      return step::done;
    }
    if (c == ']') {
      if (q + 2 < e) {
        if (q[1] == ']' && q[2] == '>') return step::fail;
      } else if (!final && (q + 1 == e || q[1] == ']')) {
        emit_text({run, static_cast<std::size_t>(q - run)});
        p = q;
        return step::more;
      }
      ++q;
      continue;
    }
    if (c == '&') {
      std::uint32_t ch = 0;
      const std::ptrdiff_t n = reference(q, e, ch);
      if (n < 0 || (n == 0 && final)) return step::fail;
      emit_text({run, static_cast<std::size_t>(q - run)});
      if (n == 0) {
        p = q;
        return step::more;
      }
      char utf8[4];
      emit_text({utf8, put_utf8(ch, utf8)});
      q += n;
      run = q;
      continue;
    }
    if (c == '\r') {
      emit_text({run, static_cast<std::size_t>(q - run)});
      if (q + 1 == e && !final) {
        p = q;
        return step::more;
      }
      emit_text("\n");
      q += (q + 1 < e && q[1] == '\n') ? 2 : 1;
      run = q;
      continue;
    }
    if (high(c)) {
      const int n = utf8_sequence(q, e);
      if (n < 0 || (n == 0 && final)) return step::fail;
      if (n == 0) {
        emit_text({run, static_cast<std::size_t>(q - run)});
        p = q;
        return step::more;
      }
      q += n;
      continue;
    }
    return step::fail;  // a control character
  }
}

namespace {

// Skips the name characters from `q`; stops at the first other byte.
// Returns false for an invalid UTF-8 sequence; `q == e` when the buffer
// ends first (or inside a sequence).
bool skip_name(char*& q, char* e) {
  for (;;) {
    while (q < e && (cls(*q) & k_name) && !high(*q)) ++q;
    if (q == e || !high(*q)) return true;
    const int n = utf8_sequence(q, e);
    if (n < 0) return false;
    if (n == 0) {
      q = e;
      return true;
    }
    q += n;
  }
}

inline void skip_spaces(char*& q, char* e) {
  while (q < e && (cls(*q) & k_space)) ++q;
}

}  // namespace

wb_xml_scanner::step wb_xml_scanner::start_tag(char*& p, char* e) {
  char* q = p + 1;
  if (!(cls(*q) & k_name_start)) return step::fail;
  char* const name = q;
  if (!skip_name(q, e)) return step::fail;
  char* const name_end = q;
  spans_.clear();
  bool empty = false;
  for (;;) {
    char* const before = q;
    skip_spaces(q, e);
    if (q == e) return step::more;
    const char c = *q;
    if (c == '>') {
      ++q;
      break;
    }
    if (c == '/') {
      if (q + 1 == e) return step::more;
      if (q[1] != '>') return step::fail;
      empty = true;
      q += 2;
      break;
    }
    if (q == before || !(cls(c) & k_name_start)) return step::fail;
    // Built in place: a span assembled aside and copied in stalls on the
    // copy (its fields stored one by one, then loaded sixteen bytes at a
    // time), at every attribute of every tag.
    attribute_span& a = spans_.emplace_back();
    a.name = q;
    a.normalize = false;
    if (!skip_name(q, e)) return step::fail;
    a.name_end = q;
    skip_spaces(q, e);
    if (q == e) return step::more;
    if (*q != '=') return step::fail;
    ++q;
    skip_spaces(q, e);
    if (q == e) return step::more;
    const char quote = *q;
    if (quote != '"' && quote != '\'') return step::fail;
    a.value = ++q;
    for (;;) {
      while (q < e && !(cls(*q) & k_value)) ++q;
      if (q == e) return step::more;
      const char v = *q;
      if (v == quote) break;
      if (v == '"' || v == '\'') {
        ++q;
      } else if (v == '&') {
        std::uint32_t ch = 0;
        const std::ptrdiff_t n = reference(q, e, ch);
        if (n < 0) return step::fail;
        if (n == 0) return step::more;
        a.normalize = true;
        q += n;
      } else if (v == '\t' || v == '\n' || v == '\r') {
        a.normalize = true;
        ++q;
      } else if (high(v)) {
        const int n = utf8_sequence(q, e);
        if (n < 0) return step::fail;
        if (n == 0) return step::more;
        q += n;
      } else {
        return step::fail;  // '<' or a control character
      }
    }
    a.value_end = q++;
    const std::size_t length = static_cast<std::size_t>(a.name_end - a.name);
    for (std::size_t k = 0; k + 1 < spans_.size(); ++k) {
      const attribute_span& b = spans_[k];
      if (static_cast<std::size_t>(b.name_end - b.name) == length && std::equal(a.name, a.name_end, b.name))
        return step::fail;
    }
  }
  if (open_offsets_.empty() && root_seen_) return step::fail;  // a second root element

  // The tag is complete and sound: terminate its strings in place.
  const std::string_view qname(name, static_cast<std::size_t>(name_end - name));
  *name_end = '\0';
  attributes_.clear();
  for (attribute_span& a : spans_) {
    *a.name_end = '\0';
    if (a.normalize) a.value_end = normalize_value(a.value, a.value_end);
    *a.value_end = '\0';
    attributes_.push_back(a.name);
    attributes_.push_back(a.value);
  }
  attributes_.push_back(nullptr);
  p = q;
  root_seen_ = true;

  names_.declare(attributes_.data());
  std::string_view local;
  const wb_xml_ns ns = names_.split_name(qname, local);
  if (!empty) {
    open_offsets_.push_back(static_cast<std::uint32_t>(open_names_.size()));
    open_names_.append(qname);
  }
  handler_.on_start(ns, local, attributes_.data());
  if (empty) handler_.on_end(names_.split_name(qname, local), local);
  return step::done;
}

wb_xml_scanner::step wb_xml_scanner::end_tag(char*& p, char* e) {
  char* q = p + 2;
  if (q == e) return step::more;
  if (!(cls(*q) & k_name_start)) return step::fail;
  char* const name = q;
  if (!skip_name(q, e)) return step::fail;
  const std::string_view qname(name, static_cast<std::size_t>(q - name));
  skip_spaces(q, e);
  if (q == e) return step::more;
  if (*q != '>' || open_offsets_.empty()) return step::fail;
  const std::uint32_t at = open_offsets_.back();
  if (std::string_view(open_names_).substr(at) != qname) return step::fail;
  open_names_.resize(at);
  open_offsets_.pop_back();
  p = q + 1;
  std::string_view local;
  const wb_xml_ns ns = names_.split_name(qname, local);
  handler_.on_end(ns, local);
  return step::done;
}

namespace {

// Skips checked characters from `q` up to the first byte of `stop` (one
// or two ASCII bytes). Returns false for a character XML does not allow;
// `q == e` when the buffer ends first.
bool skip_chars(char*& q, char* e, char stop) {
  for (;;) {
    while (q < e && *q != stop && !(cls(*q) & k_bad) && !high(*q)) ++q;
    if (q == e || *q == stop) return true;
    if (!high(*q)) return false;
    const int n = utf8_sequence(q, e);
    if (n < 0) return false;
    if (n == 0) {
      q = e;
      return true;
    }
    q += n;
  }
}

}  // namespace

// Comments, processing instructions, CDATA sections; a document type
// declaration fails, as it does with wb_xml_parser.
wb_xml_scanner::step wb_xml_scanner::markup(char*& p, char* e) {
  if (p[1] == '?') {
    char* q = p + 2;
    if (q == e) return step::more;
    if (!(cls(*q) & k_name_start)) return step::fail;
    char* const target = q;
    if (!skip_name(q, e)) return step::fail;
    if (q == e) return step::more;
    // "xml" in any case is reserved: the declaration belongs at the start.
    if (ascii_iequal(std::string_view(target, static_cast<std::size_t>(q - target)), "xml")) return step::fail;
    if (*q == '?') {
      if (q + 1 == e) return step::more;
      if (q[1] != '>') return step::fail;
      p = q + 2;
      return step::done;
    }
    if (!(cls(*q) & k_space)) return step::fail;
    for (;;) {
      if (!skip_chars(q, e, '?')) return step::fail;
      if (q == e || q + 1 == e) return step::more;
      if (q[1] == '>') break;
      ++q;
    }
    p = q + 2;
    return step::done;
  }
  static constexpr std::string_view comment = "<!--";
  static constexpr std::string_view cdata_open = "<![CDATA[";
  const std::string_view head(p, static_cast<std::size_t>(e - p));
  if (head.size() < comment.size())
    return comment.starts_with(head) || cdata_open.starts_with(head) ? step::more : step::fail;
  if (head.starts_with(comment)) {
    char* q = p + comment.size();
    for (;;) {
      if (!skip_chars(q, e, '-')) return step::fail;
      if (q == e || q + 1 == e) return step::more;
      if (q[1] == '-') {
        if (q + 2 == e) return step::more;
        if (q[2] != '>') return step::fail;  // "--" only closes a comment
        p = q + 3;
        return step::done;
      }
      ++q;
    }
  }
  if (head.size() < cdata_open.size()) return cdata_open.starts_with(head) ? step::more : step::fail;
  if (!head.starts_with(cdata_open) || open_offsets_.empty()) return step::fail;
  p += cdata_open.size();
  in_cdata_ = true;
  return step::done;
}

// The content of a CDATA section from `p` on, reported as text as far as
// it is checked, its line ends normalised, up to and past its "]]>". What
// the end of the buffer may cut (a UTF-8 sequence, a CR before its LF, a
// "]" or "]]" before ">") waits for the next chunk, so a section of any
// size passes through a buffer of the chunk size.
wb_xml_scanner::step wb_xml_scanner::cdata(char*& p, char* e, bool final) {
  char* q = p;
  char* close = nullptr;
  for (;;) {
    if (!skip_chars(q, e, ']')) return step::fail;
    if (q == e) {
      // skip_chars checked every whole sequence; one cut off at the end
      // starts at its lead byte.
      for (char* l = e; l > p && e - l < 3;) {
        const auto lead = static_cast<unsigned char>(*--l);
        if (lead < 0xC0) continue;
        if (e - l < (lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4)) q = l;
        break;
      }
      break;
    }
    if (e - q < 3) break;
    if (q[1] == ']' && q[2] == '>') {
      close = q;
      break;
    }
    ++q;
  }
  char* end = q;
  if (close == nullptr && !final && end > p && end[-1] == '\r') --end;
  char* run = p;
  for (char* r = p; r < end; ++r) {
    if (*r != '\r') continue;
    emit_text({run, static_cast<std::size_t>(r - run)});
    emit_text("\n");
    if (r + 1 < end && r[1] == '\n') ++r;
    run = r + 1;
  }
  emit_text({run, static_cast<std::size_t>(end - run)});
  if (close == nullptr) {
    p = end;
    return step::more;
  }
  p = close + 3;
  in_cdata_ = false;
  return step::done;
}

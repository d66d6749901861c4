#include "csv_record.h"

#include <algorithm>
#include <cstring>
#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "csv_field.h"
#include "num_map.h"
#include "tk_logger.h"
#include "tk_unicode.h"

namespace {

// The first unit equal to `a` or `b` at or after `p`, or `end`.
const char16_t* find_either(const char16_t* p, const char16_t* end, char16_t a, char16_t b, unsigned&) {
#if defined(__SSE2__)
  const __m128i va = _mm_set1_epi16(static_cast<short>(a));
  const __m128i vb = _mm_set1_epi16(static_cast<short>(b));
  while (end - p >= 8) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const int hits = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi16(x, va), _mm_cmpeq_epi16(x, vb)));
    if (hits) return p + (__builtin_ctz(static_cast<unsigned>(hits)) >> 1);
    p += 8;
  }
#endif
  while (p < end && *p != a && *p != b) ++p;
  return p;
}

// The first byte equal to `a`, `b` or `c` at or after `p`, or `end`;
// `high` gains a bit when a byte passed over, or one near it, is not ASCII.
const char* find_any(const char* p, const char* end, char a, char b, char c, unsigned& high) {
#if defined(__SSE2__)
  const __m128i va = _mm_set1_epi8(a);
  const __m128i vb = _mm_set1_epi8(b);
  const __m128i vc = _mm_set1_epi8(c);
  while (end - p >= 16) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    high |= static_cast<unsigned>(_mm_movemask_epi8(x));
    const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(x, va), _mm_cmpeq_epi8(x, vb)), _mm_cmpeq_epi8(x, vc));
    if (const int hits = _mm_movemask_epi8(hit)) return p + __builtin_ctz(static_cast<unsigned>(hits));
    p += 16;
  }
#endif
  for (; p < end && *p != a && *p != b && *p != c; ++p) high |= static_cast<unsigned char>(*p) & 0x80u;
  return p;
}

// The same of two bytes.
const char* find_either(const char* p, const char* end, char a, char b, unsigned& high) {
  return find_any(p, end, a, b, b, high);
}

// Whether fields hold anything but blanks, quotes and delimiters: a value.
// A doubled quote inside quotes is a quote of the value.
template <class C>
bool holds_value(const C* p, const C* end, C delimiter) {
  bool quoted = false;
  for (; p < end; ++p) {
    const C c = *p;
    if (c == C('"')) {
      if (quoted && p + 1 < end && p[1] == C('"')) return true;
      quoted = !quoted;
    } else if (c != C(' ') && c != C('\t') && c != C('\r') && (quoted || c != delimiter)) {
      return true;
    }
  }
  return false;
}

}  // namespace

csv_record::csv_record(const udb_schema* schema, uint64_t layout) : schema_(schema), layout_(layout) {}

csv_record::~csv_record() = default;

char* csv_record::grow_text(char* at, size_t more) {
  const auto used = static_cast<size_t>(at - text_.data());
  text_.resize(std::max(text_.size() * 2, used + more + 64));
  return text_.data() + used;
}

void csv_record::close_span(const char* at, unsigned high) {
  span& f = spans_.back();
  f.size = static_cast<size_t>(at - text_.data()) - f.at;
  const std::string_view text(text_.data() + f.at, f.size);
  f.units = high ? tk_utf8_counts(text).units : f.size;
}

void csv_record::open_span(const char* at) { spans_.push_back({static_cast<size_t>(at - text_.data()), 0, 0}); }

void csv_record::take_spans() {
  for (size_t k = 0; k < spans_.size(); ++k) {
    const span& f = spans_[k];
    udb_field& field = next_field(k);
    field.set_utf8_borrowed(std::string_view(text_.data() + f.at, f.size), f.units);
    field.set_declared_size(static_cast<uint32_t>(f.units));
  }
  held_ = text_.size();
  // Fields kept aside hold no text of another line (nor of room given back).
  for (size_t k = size(); k < fields_held() && k < built_; ++k) (*this)[k].clear();
}

udb_field& csv_record::add_field(size_t k) {
  const bool named = schema_ && k < schema_->size() && schema_->fields[k];
  if (k < built_) {
    // A field kept aside by clear() comes back (next_field) with its
    // buffers and its name, which depends only on its position; a record
    // emptied with reset() by its user gets fresh fields, named here.
    resize(k + 1);
    udb_field& f = (*this)[k];
    f.set_name(named ? std::u16string_view(schema_->fields[k]->name) : csv_field::default_name(k + 1));
    return f;
  }
  ++built_;
  push_back(named ? std::make_unique<csv_field>(schema_->fields[k]->name, std::u16string_view())
                  : std::make_unique<csv_field>(k + 1, std::u16string_view()));
  return (*this)[k];
}

void csv_record::note_fields(const std::atomic<uint8_t>* wanted) {
  notes_.resize(size());
  for (size_t i = 0; i < size(); ++i) {
    const udb_field& f = (*this)[i];
    field_note& n = notes_[i];
    n.read = wanted ? wanted[i].load(std::memory_order_relaxed) : field_note::number_read | field_note::date_read;
    if (f.text_units() == 0) continue;  // the statistics pass over it
    if (n.read & field_note::number_read) n.number = num_map::class_of(f, n.inexact);
    if (n.read & field_note::date_read) n.date = dates_map::read(f);
  }
  noted_ = true;
}

void csv_record::prefetch(int step) const noexcept {
  if (step == 0) {
    __builtin_prefetch(this);
    return;
  }
  if (step == 1) {
    for (size_t i = 0; i < size(); i += 8) __builtin_prefetch(field_slots() + i);
    return;
  }
  if (step == 2) {
    for (size_t i = 0; i < size(); ++i) __builtin_prefetch(&(*this)[i]);
    return;
  }
  for (size_t at = 0; at < text_used_; at += 64) __builtin_prefetch(text_.data() + at);
}

void csv_record::do_create(std::u16string_view line, char16_t delimiter) {
  TK_TRACE(2, "csv_record::do_create(%s)", line);
  clear();
  noted_ = false;
  text_used_ = 0;
  const size_t limit = schema_ ? schema_->size() : 0;
  const char16_t* p = line.data();
  const char16_t* const end = p + line.size();
  size_t k = 0;
  held_ = 0;
  cut_ = false;
  bool in_quotes = false;
  unsigned high = 0;
  udb_field* field = &next_field(0);
  std::u16string* text = &field->text_for_write();
  const auto close = [&] {
    field->set_declared_size(static_cast<uint32_t>(text->size()));
    held_ += text->capacity();
  };
  while (p < end) {
    // A run of ordinary characters is copied whole.
    const char16_t* stop = find_either(p, end, u'"', in_quotes ? u'"' : delimiter, high);
    text->append(p, static_cast<size_t>(stop - p));
    p = stop;
    if (p == end) break;
    if (*p == u'"') {
      if (in_quotes && p + 1 < end && p[1] == u'"') {
        *text += u'"';
        p += 2;
      } else {
        in_quotes = !in_quotes;
        ++p;
      }
      continue;
    }
    close();
    ++k;
    if (limit > 0 && k >= limit) {
      cut_ = holds_value(p + 1, end, delimiter);
      return;
    }
    field = &next_field(k);
    text = &field->text_for_write();
    ++p;
  }
  close();
}

void csv_record::do_create_utf8(std::string_view line, char delimiter) {
  TK_TRACE(2, "csv_record::do_create_utf8(%s)", line);
  clear();
  noted_ = false;
  spans_.clear();
  const size_t limit = schema_ ? schema_->size() : 0;
  const char* p = line.data();
  const char* const end = p + line.size();
  cut_ = false;
  bool in_quotes = false;
  bool limited = false;  // the schema's last field was closed
  unsigned high = 0;
  // The fields' text is no longer than the line. (Never of the string's
  // own small room: the views stay valid when the record is moved.)
  if (text_.size() < std::max<size_t>(line.size(), 64)) text_.resize(std::max<size_t>(line.size(), 64));
  char* out = text_.data();
  open_span(out);
  while (p < end) {
    // A run of ordinary characters is copied whole.
    const char* stop = find_either(p, end, '"', in_quotes ? '"' : delimiter, high);
    std::memcpy(out, p, static_cast<size_t>(stop - p));
    out += stop - p;
    p = stop;
    if (p == end) break;
    if (*p == '"') {
      if (in_quotes && p + 1 < end && p[1] == '"') {
        *out++ = '"';
        p += 2;
      } else {
        in_quotes = !in_quotes;
        ++p;
      }
      continue;
    }
    close_span(out, high);
    high = 0;
    if (limit > 0 && spans_.size() >= limit) {
      cut_ = holds_value(p + 1, end, delimiter);
      limited = true;
      break;
    }
    open_span(out);
    ++p;
  }
  if (!limited) close_span(out, high);
  text_used_ = static_cast<size_t>(out - text_.data());
  take_spans();
}

bool csv_record::split_buffered(std::string_view bytes, char delimiter, buffered_line& line) {
  const char* const start = bytes.data();
  const char* const end = start + bytes.size();
  const char* p = start;
  noted_ = false;
  if (p == end || *p == '\n' || *p == '\x1A' || (*p == '\r' && p + 1 < end && p[1] == '\n')) return false;
  clear();
  spans_.clear();
  line = {};
  const size_t limit = schema_ ? schema_->size() : 0;
  cut_ = false;
  bool in_quotes = false;
  unsigned high = 0;
  const char* physical = p;  // where the physical line starts
  int64_t at_line = 1;
  // The physical line on which the open section was opened, and whether a
  // quote in mid-field (not at a field's start, after blanks) opened it.
  int64_t opened_on = 0;
  bool opened_inside = false;
  // The fields' text goes to the record's buffer as the line is scanned:
  // each block of sixteen bytes is stored whole, and the next field or
  // piece starts where its stop was found (room for a block past the end).
  if (text_.size() < 64) text_.resize(64);
  char* out = text_.data();
  const char* room_end = out + text_.size() - 16;
  const auto room = [&](size_t more) {
    if (static_cast<size_t>(room_end - out) < more) {
      out = grow_text(out, more + 16);
      room_end = text_.data() + text_.size() - 16;
    }
  };
  open_span(out);
  for (;;) {
    const char stop_at = in_quotes ? '"' : delimiter;
    const char* stop = nullptr;
#if defined(__SSE2__)
    {
      const __m128i quote = _mm_set1_epi8('"');
      const __m128i other = _mm_set1_epi8(stop_at);
      const __m128i feed = _mm_set1_epi8('\n');
      while (end - p >= 16) {
        room(16);
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), x);
        const auto hits = static_cast<unsigned>(_mm_movemask_epi8(
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(x, quote), _mm_cmpeq_epi8(x, other)), _mm_cmpeq_epi8(x, feed))));
        if (hits != 0) {
          const auto n = __builtin_ctz(hits);
          high |= static_cast<unsigned>(_mm_movemask_epi8(x)) & ((1u << n) - 1);
          p += n;
          out += n;
          stop = p;
          break;
        }
        high |= static_cast<unsigned>(_mm_movemask_epi8(x));
        p += 16;
        out += 16;
      }
    }
#endif
    if (!stop) {
      // The last few bytes of the buffer.
      room(static_cast<size_t>(end - p));
      for (; p < end && *p != '"' && *p != stop_at && *p != '\n'; ++p) {
        high |= static_cast<unsigned char>(*p) & 0x80u;
        *out++ = *p;
      }
      if (p == end) return false;
    }
    if (*p == '"') {
      if (in_quotes) {
        if (p + 1 == end) return false;  // a doubled quote or not: the buffer does not tell
        if (p[1] == '"') {
          room(1);
          *out++ = '"';
          p += 2;
          continue;
        }
      } else {
        const char* i = p;
        while (i > physical && i[-1] != delimiter && (i[-1] == ' ' || i[-1] == '\t')) --i;
        opened_inside = i > physical && i[-1] != delimiter;
        opened_on = at_line;
      }
      in_quotes = !in_quotes;
      ++p;
      continue;
    }
    if (*p == '\n') {
      // A CR right before the line feed belongs to the line end (it was
      // taken into the field as an ordinary character).
      if (p > physical && p[-1] == '\r') --out;
      if (!in_quotes) {
        close_span(out, high);
        text_used_ = static_cast<size_t>(out - text_.data());
        take_spans();
        line.bytes = static_cast<size_t>(p + 1 - start);
        line.lines = at_line;
        return true;
      }
      if (opened_on == at_line && opened_inside && line.inside_on == 0) line.inside_on = at_line;
      room(1);
      *out++ = '\n';
      physical = ++p;
      ++at_line;
      continue;
    }
    // A delimiter outside quotes.
    close_span(out, high);
    high = 0;
    if (limit > 0 && spans_.size() >= limit) return false;
    open_span(out);
    ++p;
  }
}

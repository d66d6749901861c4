#include "csv_record.h"

#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "csv_field.h"
#include "tk_logger.h"

namespace {

// The first unit equal to `a` or `b` at or after `p`, or `end`.
const char16_t* find_either(const char16_t* p, const char16_t* end, char16_t a, char16_t b) {
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

// Whether fields hold anything but blanks, quotes and delimiters: a value.
// A doubled quote inside quotes is a quote of the value.
bool holds_value(const char16_t* p, const char16_t* end, char16_t delimiter) {
  bool quoted = false;
  for (; p < end; ++p) {
    const char16_t c = *p;
    if (c == u'"') {
      if (quoted && p + 1 < end && p[1] == u'"') return true;
      quoted = !quoted;
    } else if (c != u' ' && c != u'\t' && c != u'\r' && (quoted || c != delimiter)) {
      return true;
    }
  }
  return false;
}

}  // namespace

csv_record::csv_record(const udb_schema* schema) : schema_(schema) {}

csv_record::~csv_record() = default;

udb_field& csv_record::next_field(size_t k) {
  const bool named = schema_ && k < schema_->size() && schema_->fields[k];
  if (k < built_) {
    // A field kept aside by clear() comes back with its buffers and its
    // name, which depends only on its position. (A record emptied with
    // reset() by its user gets fresh fields, named here.)
    resize(k + 1);
    udb_field& f = (*this)[k];
    if (f.name().empty())
      f.set_name(named ? std::u16string_view(schema_->fields[k]->name) : csv_field::default_name(k + 1));
    return f;
  }
  ++built_;
  push_back(named ? std::make_unique<csv_field>(schema_->fields[k]->name, std::u16string_view())
                  : std::make_unique<csv_field>(k + 1, std::u16string_view()));
  return (*this)[k];
}

void csv_record::do_create(std::u16string_view line, char16_t delimiter) {
  TK_TRACE(2, "csv_record::do_create(%s)", line);
  TK_TRACE(1, "GOT DELIM: %s", std::u16string_view(&delimiter, 1));
  clear();
  const size_t limit = schema_ ? schema_->size() : 0;
  const char16_t* p = line.data();
  const char16_t* const end = p + line.size();
  size_t k = 0;
  held_ = 0;
  cut_ = false;
  bool in_quotes = false;
  udb_field* field = &next_field(0);
  std::u16string* text = &field->text_for_write();
  while (p < end) {
    // A run of ordinary characters is copied whole.
    const char16_t* stop = find_either(p, end, u'"', in_quotes ? u'"' : delimiter);
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
    TK_TRACE(1, "c_str='%s'", std::u16string_view(p, static_cast<size_t>(end - p)));
    TK_TRACE(1, "Got comma");
    field->set_declared_size(static_cast<uint32_t>(text->size()));
    held_ += text->capacity();
    ++k;
    if (limit > 0 && k >= limit) {
      cut_ = holds_value(p + 1, end, delimiter);
      return;
    }
    field = &next_field(k);
    text = &field->text_for_write();
    ++p;
  }
  field->set_declared_size(static_cast<uint32_t>(text->size()));
  held_ += text->capacity();
}

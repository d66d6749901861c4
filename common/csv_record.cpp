#include "csv_record.h"

#include <algorithm>
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

}  // namespace

csv_record::csv_record(const udb_schema* schema) : schema_(schema) {}

csv_record::~csv_record() = default;

void csv_record::name(udb_field& field, size_t k) const {
  if (schema_ && k < schema_->size() && schema_->fields[k])
    field.set_name(schema_->fields[k]->name);
  else
    field.set_name(csv_field::default_name(k + 1));
}

udb_field& csv_record::next_field(size_t k) {
  const bool named = schema_ && k < schema_->size() && schema_->fields[k];
  if (k < built_) {
    // A field kept aside by clear() comes back with its buffers and its
    // name, which depends only on its position. (A record emptied with
    // reset() by its user gets fresh fields, named here.)
    resize(k + 1);
    udb_field& f = (*this)[k];
    if (f.name().empty()) name(f, k);
    return f;
  }
  ++built_;
  push_back(named ? std::make_unique<csv_field>(schema_->fields[k]->name, std::u16string_view())
                  : std::make_unique<csv_field>(k + 1, std::u16string_view()));
  return (*this)[k];
}

namespace {

// Splits `line` into fields: `text(k)` gives the emptied buffer of field k,
// `done(k, text)` is told when it is complete. Returns the number of fields.
template <class Text, class Done>
size_t split_line(std::u16string_view line, char16_t delimiter, size_t limit, Text text_of, Done done) {
  const char16_t* p = line.data();
  const char16_t* const end = p + line.size();
  size_t k = 0;
  bool in_quotes = false;
  std::u16string* text = &text_of(0);
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
    done(k, *text);
    ++k;
    if (limit > 0 && k >= limit) return k;
    text = &text_of(k);
    ++p;
  }
  done(k, *text);
  return k + 1;
}

}  // namespace

void csv_record::do_create(std::u16string_view line, char16_t delimiter) {
  TK_TRACE(2, "csv_record::do_create(%s)", line);
  clear();
  udb_field* field = nullptr;
  split_line(
      line, delimiter, schema_ ? schema_->size() : 0,
      [&](size_t k) -> std::u16string& {
        field = &next_field(k);
        return field->text_for_write();
      },
      [&](size_t, const std::u16string& text) { field->set_declared_size(static_cast<uint32_t>(text.size())); });
}

size_t csv_record::split(std::u16string_view line, char16_t delimiter, size_t limit,
                         std::vector<std::u16string>& fields) {
  return split_line(
      line, delimiter, limit,
      [&](size_t k) -> std::u16string& {
        if (k == fields.size()) fields.emplace_back();
        fields[k].clear();
        return fields[k];
      },
      [](size_t, const std::u16string&) {});
}

void csv_record::take_fields(std::vector<std::u16string>& fields, size_t count) {
  // The fields kept from earlier lines come back at once (and are named
  // only when a user of the record reset it).
  const size_t kept = std::min(count, built_);
  resize(kept);
  for (size_t k = 0; k < count; ++k) {
    udb_field& field = k < kept ? (*this)[k] : next_field(k);
    if (k < kept && field.name().empty()) name(field, k);
    std::u16string& text = field.text_for_write();
    text.swap(fields[k]);
    field.set_declared_size(static_cast<uint32_t>(text.size()));
  }
}

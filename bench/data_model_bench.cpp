// The copy path's per-cell costs: parsing text into VT_R8, VT_I4, VT_DATE
// and VT_BSTR, printing VT_R8 and VT_DATE, and finding a field by name in a
// 20-field record. Each is measured beside a reference doing only the bare
// part of the work (std::from_chars, strtol, std::to_chars, a UTF-8 to
// UTF-16 copy, an exact name comparison), so the ratio shows what the
// system's rules cost on top. Inputs are generated from a fixed seed.

#include <benchmark/benchmark.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ole_variant.h"
#include "tk_unicode.h"
#include "udb_record.h"

namespace {

constexpr size_t n_inputs = 1024;

// A small deterministic generator (LCG), so every run reads the same cells.
struct lcg {
  uint64_t state = 0x2545F4914F6CDD1DULL;
  uint32_t next() {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<uint32_t>(state >> 33);
  }
};

std::vector<std::string> make_doubles() {
  lcg g;
  std::vector<std::string> out;
  char buf[64];
  for (size_t i = 0; i < n_inputs; ++i) {
    double v = (static_cast<double>(g.next()) - 2147483648.0) / 1000.0;
    std::snprintf(buf, sizeof buf, i % 4 == 0 ? "%.3f" : i % 4 == 1 ? "%.6g" : i % 4 == 2 ? "%.2f" : "%.10e", v);
    out.emplace_back(buf);
  }
  return out;
}

std::vector<std::string> make_ints() {
  lcg g;
  std::vector<std::string> out;
  for (size_t i = 0; i < n_inputs; ++i)
    out.push_back(std::to_string(static_cast<int32_t>(g.next()) / static_cast<int32_t>(1 + i % 1000)));
  return out;
}

std::vector<std::string> make_dates() {
  lcg g;
  std::vector<std::string> out;
  char buf[64];
  for (size_t i = 0; i < n_inputs; ++i) {
    int y = 1990 + static_cast<int>(g.next() % 40), m = 1 + static_cast<int>(g.next() % 12),
        d = 1 + static_cast<int>(g.next() % 28), h = static_cast<int>(g.next() % 24),
        mi = static_cast<int>(g.next() % 60), s = static_cast<int>(g.next() % 60);
    switch (i % 4) {
      case 0:
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", y, m, d, h, mi, s);
        break;
      case 1:
        std::snprintf(buf, sizeof buf, "%04d%02d%02d", y, m, d);
        break;
      case 2:
        std::snprintf(buf, sizeof buf, "%02d.%02d.%04d", d, m, y);
        break;
      default:
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
        break;
    }
    out.emplace_back(buf);
  }
  return out;
}

std::vector<std::string> make_texts() {
  lcg g;
  std::vector<std::string> out;
  for (size_t i = 0; i < n_inputs; ++i) {
    std::string t;
    size_t len = 8 + g.next() % 40;
    for (size_t k = 0; k < len; ++k) t += static_cast<char>('a' + g.next() % 26);
    if (i % 8 == 0) t += "\xc3\xa9t\xc3\xa9";  // some non-ASCII text
    out.push_back(t);
  }
  return out;
}

size_t total_bytes(const std::vector<std::string>& v) {
  size_t n = 0;
  for (const auto& s : v) n += s.size();
  return n;
}

void parse(benchmark::State& state, const std::vector<std::string>& inputs, VARTYPE vt) {
  ole_variant v;
  size_t i = 0;
  for (auto _ : state) {
    v.from_string(inputs[i++ % n_inputs], vt);
    benchmark::DoNotOptimize(v);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
  state.SetBytesProcessed(
      static_cast<int64_t>(static_cast<size_t>(state.iterations()) * total_bytes(inputs) / n_inputs));
}

const std::vector<std::string> doubles = make_doubles();
const std::vector<std::string> ints = make_ints();
const std::vector<std::string> dates = make_dates();
const std::vector<std::string> texts = make_texts();

void parse_r8(benchmark::State& s) { parse(s, doubles, VT_R8); }
void parse_i4(benchmark::State& s) { parse(s, ints, VT_I4); }
void parse_date(benchmark::State& s) { parse(s, dates, VT_DATE); }
void parse_bstr(benchmark::State& s) { parse(s, texts, VT_BSTR); }

void reference_from_chars_r8(benchmark::State& state) {
  size_t i = 0;
  for (auto _ : state) {
    const std::string& t = doubles[i++ % n_inputs];
    double d = 0;
    std::from_chars(t.data(), t.data() + t.size(), d);
    benchmark::DoNotOptimize(d);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

void reference_strtol_i4(benchmark::State& state) {
  size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(std::strtol(ints[i++ % n_inputs].c_str(), nullptr, 10));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

void reference_utf16_copy(benchmark::State& state) {
  std::u16string out;
  size_t i = 0;
  for (auto _ : state) {
    out.clear();
    tk_append_utf16(out, texts[i++ % n_inputs]);
    benchmark::DoNotOptimize(out);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

std::vector<ole_variant> make_values(const std::vector<std::string>& inputs, VARTYPE vt) {
  std::vector<ole_variant> out(n_inputs);
  for (size_t i = 0; i < n_inputs; ++i) out[i].from_string(inputs[i], vt);
  return out;
}

void to_string_r8(benchmark::State& state) {
  static const std::vector<ole_variant> values = make_values(doubles, VT_R8);
  size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(values[i++ % n_inputs].to_string());
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

void append_r8(benchmark::State& state) {
  static const std::vector<ole_variant> values = make_values(doubles, VT_R8);
  std::string out;
  size_t i = 0;
  for (auto _ : state) {
    out.clear();
    values[i++ % n_inputs].append_to_string(out);
    benchmark::DoNotOptimize(out);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

void reference_to_chars_r8(benchmark::State& state) {
  static const std::vector<ole_variant> values = make_values(doubles, VT_R8);
  char buf[64];
  size_t i = 0;
  for (auto _ : state) {
    auto r = std::to_chars(buf, buf + sizeof buf, values[i++ % n_inputs].get_r8(), std::chars_format::scientific, 16);
    benchmark::DoNotOptimize(r.ptr);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

void to_string_date(benchmark::State& state) {
  static const std::vector<ole_variant> values = make_values(dates, VT_DATE);
  size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(values[i++ % n_inputs].to_string());
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

void append_date(benchmark::State& state) {
  static const std::vector<ole_variant> values = make_values(dates, VT_DATE);
  std::string out;
  size_t i = 0;
  for (auto _ : state) {
    out.clear();
    values[i++ % n_inputs].append_to_string(out);
    benchmark::DoNotOptimize(out);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

void reference_snprintf_date(benchmark::State& state) {
  static const std::vector<ole_variant> values = make_values(dates, VT_DATE);
  char buf[64];
  size_t i = 0;
  for (auto _ : state) {
    const ole_system_time& t = values[i++ % n_inputs].get_date().st;
    benchmark::DoNotOptimize(std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day,
                                           t.hour, t.minute, t.second));
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

const std::u16string field_names[20] = {u"CustomerId", u"ORDER_DATE", u"shipCity",    u"Ship_Country", u"UnitPrice",
                                        u"Quantity",   u"discount",   u"ProductName", u"CATEGORY",     u"supplierId",
                                        u"Region",     u"PostalCode", u"Phone",       u"FAX",          u"HomePage",
                                        u"Notes",      u"EmployeeId", u"freight",     u"ShippedDate",  u"RequiredDate"};
// Lookups as a writer makes them: other letter cases, spread over the
// record, and one name that is missing.
const std::u16string lookups[8] = {u"customerid", u"ORDER_date", u"SHIPCITY",     u"quantity",
                                   u"category",   u"notes",      u"requireddate", u"missing"};

udb_record make_record() {
  udb_record r;
  for (const auto& n : field_names) r.push_back(udb_field(n, 10, ole_variant(int32_t(1))));
  return r;
}

void find_field(benchmark::State& state) {
  const udb_record r = make_record();
  size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(r.find_index(lookups[i++ % 8]));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

void reference_find_exact(benchmark::State& state) {
  const udb_record r = make_record();
  size_t i = 0;
  for (auto _ : state) {
    const std::u16string& name = lookups[i++ % 8];
    ptrdiff_t found = -1;
    for (size_t k = 0; k < r.size(); ++k) {
      if (r[k].name() == name) {
        found = static_cast<ptrdiff_t>(k);
        break;
      }
    }
    benchmark::DoNotOptimize(found);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

BENCHMARK(parse_r8);
BENCHMARK(reference_from_chars_r8);
BENCHMARK(parse_i4);
BENCHMARK(reference_strtol_i4);
BENCHMARK(parse_date);
BENCHMARK(parse_bstr);
BENCHMARK(reference_utf16_copy);
BENCHMARK(to_string_r8);
BENCHMARK(append_r8);
BENCHMARK(reference_to_chars_r8);
BENCHMARK(to_string_date);
BENCHMARK(append_date);
BENCHMARK(reference_snprintf_date);
BENCHMARK(find_field);
BENCHMARK(reference_find_exact);

}  // namespace

BENCHMARK_MAIN();

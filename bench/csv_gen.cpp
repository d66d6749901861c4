// Writes a deterministic CSV file of typed columns for the benchmarks:
//   csv_gen ROWS OUTPUT [SEED [ENCODING]]
// A header line, then ROWS records of 12 comma-separated columns: a row
// number, integers, big integers, decimals, money, dates, date-times,
// times, short text with commas and quotes, long text with line breaks,
// non-ASCII text, and short codes. About 20% of the cells after the row
// number are empty. ENCODING is utf-8 (the default), utf-16le (with its
// byte-order mark) or windows-1252; the non-ASCII text has 2-, 3- and 4-byte
// characters, or, in windows-1252, the code page's own letters and signs in
// the same places. The same arguments always give the same bytes.

#include <cinttypes>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

struct rng {
  uint64_t state;
  uint64_t next() {
    // splitmix64
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  uint64_t below(uint64_t n) { return next() % n; }
};

const char* const words[] = {"alpha",      "beta", "gamma", "delta", "north", "south", "O'Brien", "smith",
                             "\"quoted\"", "a,b",  "data",  "value", "order", "line",  "x",       "long-word"};
// UTF-8 pieces with 2-, 3- and 4-byte characters.
const char* const intl[] = {"Z\xC3\xBCrich",
                            "\xE6\x9D\xB1\xE4\xBA\xAC",
                            "\xF0\x9F\x98\x80",
                            "M\xC3\xBCnchen",
                            "\xF0\x9D\x84\x9E",
                            "caf\xC3\xA9",
                            "\xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0",
                            "\xF0\x9F\x8D\x95"};
// The same places in Windows-1252: Latin-1 letters and the euro sign.
const char* const intl_1252[] = {"Z\xC3\xBCrich",
                                 "Gen\xC3\xA8ve",
                                 "\xE2\x82\xAC"
                                 "100",
                                 "M\xC3\xBCnchen",
                                 "se\xC3\xB1or",
                                 "caf\xC3\xA9",
                                 "\xC3\x86r\xC3\xB8",
                                 "na\xC3\xAFve"};
static_assert(std::size(intl_1252) == std::size(intl));

enum class encoding { utf8, utf16le, windows_1252 };

// The UTF-8 text `in` as the file's encoding is appended to `out`.
void encode(std::string& out, const std::string& in, encoding e) {
  if (e == encoding::utf8) {
    out += in;
    return;
  }
  for (size_t i = 0; i < in.size();) {
    const auto lead = static_cast<unsigned char>(in[i]);
    const int n = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    uint32_t cp = n == 1 ? lead : lead & (0x7Fu >> n);
    for (int k = 1; k < n; ++k) cp = cp << 6 | (static_cast<unsigned char>(in[i + static_cast<size_t>(k)]) & 0x3Fu);
    i += static_cast<size_t>(n);
    if (e == encoding::windows_1252) {
      out += static_cast<char>(cp == 0x20AC ? 0x80 : cp);
      continue;
    }
    auto unit = [&out](uint32_t u) {
      out += static_cast<char>(u & 0xFF);
      out += static_cast<char>(u >> 8);
    };
    if (cp >= 0x10000) {
      unit(0xD800 + ((cp - 0x10000) >> 10));
      unit(0xDC00 + (cp & 0x3FF));
    } else {
      unit(cp);
    }
  }
}

void put_quoted(std::string& out, const std::string& text) {
  out += '"';
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

void put_number(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));
void put_number(std::string& out, const char* format, ...) {
  char buf[64];
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(buf, sizeof buf, format, args);
  va_end(args);
  out.append(buf, static_cast<size_t>(n));
}

void put_cell(std::string& out, rng& r, int column, encoding e) {
  switch (column) {
    case 1:
      put_number(out, "%" PRId64, static_cast<int64_t>(r.below(2000000)) - 1000000);
      break;
    case 2:
      put_number(out, "%" PRId64, static_cast<int64_t>(r.next() >> 1) - INT64_C(4611686018427387904));
      break;
    case 3:
      put_number(out, "%" PRId64 ".%03" PRIu64, static_cast<int64_t>(r.below(200000)) - 100000, r.below(1000));
      break;
    case 4:
      put_number(out, "%" PRIu64 ".%02" PRIu64, r.below(1000000), r.below(100));
      break;
    case 5:
      put_number(out, "%04" PRIu64 "-%02" PRIu64 "-%02" PRIu64, 1950 + r.below(80), 1 + r.below(12), 1 + r.below(28));
      break;
    case 6:
      put_number(out, "%04" PRIu64 "-%02" PRIu64 "-%02" PRIu64 " %02" PRIu64 ":%02" PRIu64 ":%02" PRIu64,
                 1950 + r.below(80), 1 + r.below(12), 1 + r.below(28), r.below(24), r.below(60), r.below(60));
      break;
    case 7:
      put_number(out, "%02" PRIu64 ":%02" PRIu64 ":%02" PRIu64, r.below(24), r.below(60), r.below(60));
      break;
    case 8: {
      std::string text;
      for (uint64_t i = 0, n = 1 + r.below(4); i < n; ++i) {
        if (i) text += ' ';
        text += words[r.below(std::size(words))];
      }
      put_quoted(out, text);
      break;
    }
    case 9: {
      std::string text;
      for (uint64_t i = 0, n = 20 + r.below(60); i < n; ++i) {
        if (i) text += r.below(12) == 0 ? (r.below(2) ? "\n" : "\r\n") : " ";
        text += words[r.below(std::size(words))];
      }
      put_quoted(out, text);
      break;
    }
    case 10: {
      std::string text;
      for (uint64_t i = 0, n = 1 + r.below(5); i < n; ++i) {
        if (i) text += ' ';
        text += (e == encoding::windows_1252 ? intl_1252 : intl)[r.below(std::size(intl))];
      }
      put_quoted(out, text);
      break;
    }
    default:
      put_number(out, "C%04" PRIu64, r.below(10000));
      break;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s ROWS OUTPUT [SEED [utf-8|utf-16le|windows-1252]]\n", argv[0]);
    return 2;
  }
  const uint64_t rows = std::strtoull(argv[1], nullptr, 10);
  rng r{argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 1};
  const std::string name = argc > 4 ? argv[4] : "utf-8";
  const encoding e = name == "utf-16le"       ? encoding::utf16le
                     : name == "windows-1252" ? encoding::windows_1252
                                              : encoding::utf8;
  if (e == encoding::utf8 && name != "utf-8") {
    std::fprintf(stderr, "unknown encoding %s\n", name.c_str());
    return 2;
  }
  std::FILE* f = std::fopen(argv[2], "wb");
  if (!f) {
    std::perror(argv[2]);
    return 1;
  }
  std::string out =
      "row,int_value,big_value,decimal_value,money,day,moment,clock,short_text,long_text,intl_text,code\n";
  std::string encoded = e == encoding::utf16le ? "\xFF\xFE" : "";
  for (uint64_t row = 1; row <= rows; ++row) {
    put_number(out, "%" PRIu64, row);
    for (int column = 1; column < 12; ++column) {
      out += ',';
      if (r.below(5) == 0) continue;  // an empty cell
      put_cell(out, r, column, e);
    }
    out += '\n';
    if (out.size() > (1u << 20)) {
      encode(encoded, out, e);
      std::fwrite(encoded.data(), 1, encoded.size(), f);
      out.clear();
      encoded.clear();
    }
  }
  encode(encoded, out, e);
  std::fwrite(encoded.data(), 1, encoded.size(), f);
  return std::fclose(f) == 0 ? 0 : 1;
}

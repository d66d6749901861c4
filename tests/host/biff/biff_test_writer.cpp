#include "biff_test_writer.h"

#include <bit>
#include <stdexcept>

namespace biff_test {

bytes& bytes::u8(unsigned v) {
  s_.push_back(static_cast<char>(v & 0xFF));
  return *this;
}
bytes& bytes::u16(unsigned v) { return u8(v).u8(v >> 8); }
bytes& bytes::u32(std::uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
bytes& bytes::f64(double v) {
  const auto bits = std::bit_cast<std::uint64_t>(v);
  return u32(static_cast<std::uint32_t>(bits)).u32(static_cast<std::uint32_t>(bits >> 32));
}
bytes& bytes::raw(std::string_view s) {
  s_.append(s);
  return *this;
}

std::string record(std::uint16_t type, const std::string& body) {
  if (body.size() > 0xFFFF) throw std::length_error("record body too long");
  return bytes().u16(type).u16(static_cast<unsigned>(body.size())).raw(body);
}

std::string unicode_string(std::u16string_view text, bool wide_count, bool two_byte) {
  for (char16_t c : text)
    if (c > 0xFF) two_byte = true;
  bytes b;
  wide_count ? b.u16(static_cast<unsigned>(text.size())) : b.u8(static_cast<unsigned>(text.size()));
  b.u8(two_byte ? 1 : 0);
  for (char16_t c : text) two_byte ? b.u16(c) : b.u8(c);
  return b;
}

std::string number_cell(unsigned row, unsigned col, unsigned xf, double value) {
  return record(0x0203, bytes().u16(row).u16(col).u16(xf).f64(value));
}
std::string rk_cell(unsigned row, unsigned col, unsigned xf, std::uint32_t rk) {
  return record(0x027E, bytes().u16(row).u16(col).u16(xf).u32(rk));
}
std::string labelsst_cell(unsigned row, unsigned col, std::uint32_t index) {
  return record(0x00FD, bytes().u16(row).u16(col).u16(15).u32(index));
}
std::string formula_cell(unsigned row, unsigned col, unsigned xf, const std::string& result) {
  // Result, options, reserved, an expression of one token (ptgInt 1).
  return record(0x0006, bytes().u16(row).u16(col).u16(xf).raw(result).u16(0).u32(0).u16(3).u8(0x1E).u16(1));
}
std::string formula_number(double value) { return bytes().f64(value); }
std::string formula_special(unsigned kind, unsigned value) {
  return bytes().u8(kind).u8(0).u8(value).u8(0).u16(0).u16(0xFFFF);
}

namespace {

std::string bof(int version, unsigned substream) {
  if (version == 8) return record(0x0809, bytes().u16(0x0600).u16(substream).u16(0x0DBB).u16(0x07CC).u32(0).u32(6));
  return record(0x0809, bytes().u16(0x0500).u16(substream).u16(0x0DBB).u16(0x07CC));
}

}  // namespace

std::string xf_records(int version, const std::vector<unsigned>& formats, unsigned count) {
  std::string out;
  // Font, format, then the rest of the record left zero (20 bytes in BIFF8, 16 in BIFF5).
  const std::size_t rest = version == 8 ? 16 : 12;
  for (unsigned i = 0; i < count; ++i) out += record(0x00E0, bytes().u16(0).u16(0).raw(std::string(rest, '\0')));
  for (unsigned id : formats) out += record(0x00E0, bytes().u16(0).u16(id).raw(std::string(rest, '\0')));
  return out;
}

std::string workbook_stream(int version, const std::string& globals, const std::vector<sheet>& sheets,
                            const std::string& after_sheets) {
  auto boundsheet = [&](const sheet& s, std::uint32_t offset) {
    bytes b;
    b.u32(offset).u8(s.state).u8(s.type);
    std::u16string latin1;
    for (char c : s.name) latin1.push_back(static_cast<unsigned char>(c));
    if (version == 8)
      b.raw(unicode_string(latin1, false));
    else
      b.u8(static_cast<unsigned>(s.name.size())).raw(s.name);
    return record(0x0085, b);
  };
  // Sizes first (the offsets do not change a BOUNDSHEET's length), then the real offsets.
  std::string head = bof(version, 0x0005) + globals;
  std::size_t size = head.size();
  for (const sheet& s : sheets) size += boundsheet(s, 0).size();
  size += after_sheets.size() + 4;  // EOF
  std::vector<std::uint32_t> offsets;
  std::string bodies;
  for (const sheet& s : sheets) {
    offsets.push_back(static_cast<std::uint32_t>(size + bodies.size()));
    bodies += bof(version, s.substream) + s.records + record(0x000A, "");
  }
  std::string out = head;
  for (std::size_t i = 0; i < sheets.size(); ++i) out += boundsheet(sheets[i], offsets[i]);
  out += after_sheets + record(0x000A, "") + bodies;
  return out;
}

namespace {

constexpr std::uint32_t sector = 512;
constexpr std::uint32_t mini_sector = 64;
constexpr std::uint32_t end_of_chain = 0xFFFFFFFE;
constexpr std::uint32_t free_sector = 0xFFFFFFFF;
constexpr std::uint32_t fat_mark = 0xFFFFFFFD;
constexpr std::uint32_t difat_mark = 0xFFFFFFFC;

std::uint32_t sectors_for(std::size_t bytes, std::uint32_t unit) {
  return static_cast<std::uint32_t>((bytes + unit - 1) / unit);
}

// The bytes padded with zeros to whole sectors.
std::string padded(std::string s) {
  s.resize(static_cast<std::size_t>(sectors_for(s.size(), sector)) * sector, '\0');
  return s;
}

}  // namespace

std::string compound_file(const std::vector<std::pair<std::u16string, std::string>>& streams) {
  // Mini stream: small streams, each padded to whole mini sectors.
  std::string mini;
  bytes mini_fat;
  std::uint32_t mini_fat_n = 0;
  std::vector<std::uint32_t> start(streams.size(), end_of_chain);
  for (std::size_t i = 0; i < streams.size(); ++i) {
    const std::string& data = streams[i].second;
    if (data.size() >= 4096 || data.empty()) continue;
    const std::uint32_t first = static_cast<std::uint32_t>(mini.size() / mini_sector);
    const std::uint32_t n = sectors_for(data.size(), mini_sector);
    for (std::uint32_t k = 0; k < n; ++k, ++mini_fat_n) mini_fat.u32(k + 1 < n ? first + k + 1 : end_of_chain);
    start[i] = first;
    mini += data;
    mini.resize(static_cast<std::size_t>(first + n) * mini_sector, '\0');
  }
  const std::uint32_t entries = static_cast<std::uint32_t>(streams.size() + 1);
  const std::uint32_t dir_n = sectors_for(entries * 128, sector);
  const std::uint32_t minifat_n = sectors_for(mini_fat_n * 4, sector);
  const std::uint32_t mini_n = sectors_for(mini.size(), sector);
  std::uint32_t data_n = 0;
  for (const auto& s : streams)
    if (s.second.size() >= 4096) data_n += sectors_for(s.second.size(), sector);
  // The FAT must also cover its own sectors and the DIFAT sectors.
  std::uint32_t fat_n = 1, difat_n = 0;
  for (;;) {
    const std::uint32_t total = fat_n + difat_n + dir_n + minifat_n + mini_n + data_n;
    const std::uint32_t need_fat = sectors_for(total * 4ull, sector);
    const std::uint32_t need_difat = need_fat > 109 ? sectors_for((need_fat - 109) * 4ull, sector - 4) : 0;
    if (need_fat == fat_n && need_difat == difat_n) break;
    fat_n = need_fat;
    difat_n = need_difat;
  }
  // Sector order: FAT, DIFAT, directory, mini FAT, mini stream, streams.
  std::uint32_t next = 0;
  auto take = [&next](std::uint32_t n) { return (next += n) - n; };
  const std::uint32_t fat_first = take(fat_n), difat_first = take(difat_n), dir_first = take(dir_n),
                      minifat_first = take(minifat_n), mini_first = take(mini_n);

  std::vector<std::uint32_t> fat(static_cast<std::size_t>(fat_n) * (sector / 4), free_sector);
  auto chain = [&](std::uint32_t first, std::uint32_t n) {
    for (std::uint32_t k = 0; k < n; ++k) fat[first + k] = k + 1 < n ? first + k + 1 : end_of_chain;
  };
  for (std::uint32_t k = 0; k < fat_n; ++k) fat[fat_first + k] = fat_mark;
  for (std::uint32_t k = 0; k < difat_n; ++k) fat[difat_first + k] = difat_mark;
  chain(dir_first, dir_n);
  chain(minifat_first, minifat_n);
  chain(mini_first, mini_n);
  std::string data;
  for (std::size_t i = 0; i < streams.size(); ++i) {
    const std::string& s = streams[i].second;
    if (s.size() < 4096) continue;
    const std::uint32_t n = sectors_for(s.size(), sector);
    chain(start[i] = take(n), n);
    data += padded(s);
  }

  // The header's DIFAT holds the first 109 FAT sectors, each DIFAT sector
  // 127 more and the next DIFAT sector.
  auto fat_sector = [&](std::uint32_t i) { return i < fat_n ? fat_first + i : free_sector; };
  bytes file;
  file.raw("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1").raw(std::string(16, '\0'));
  file.u16(0x3E).u16(3).u16(0xFFFE).u16(9).u16(6).raw(std::string(6, '\0')).u32(0).u32(fat_n).u32(dir_first).u32(0);
  file.u32(4096).u32(minifat_n ? minifat_first : end_of_chain).u32(minifat_n);
  file.u32(difat_n ? difat_first : end_of_chain).u32(difat_n);
  for (std::uint32_t i = 0; i < 109; ++i) file.u32(fat_sector(i));
  for (const std::uint32_t v : fat) file.u32(v);
  for (std::uint32_t d = 0; d < difat_n; ++d) {
    for (std::uint32_t i = 0; i < 127; ++i) file.u32(fat_sector(109 + d * 127 + i));
    file.u32(d + 1 < difat_n ? difat_first + d + 1 : end_of_chain);
  }
  // Directory: the root, then the streams chained as right siblings.
  bytes dir;
  auto dir_entry = [&dir](std::u16string_view name, unsigned type, std::uint32_t right, std::uint32_t child,
                          std::uint32_t first, std::uint32_t size) {
    for (std::size_t k = 0; k < 32; ++k) dir.u16(k < name.size() ? name[k] : 0);
    dir.u16(static_cast<unsigned>(name.size() + 1) * 2).u8(type).u8(1);  // black
    dir.u32(free_sector).u32(right).u32(child).raw(std::string(36, '\0')).u32(first).u32(size).u32(0);
  };
  dir_entry(u"Root Entry", 5, free_sector, streams.empty() ? free_sector : 1, mini_n ? mini_first : end_of_chain,
            static_cast<std::uint32_t>(mini.size()));
  for (std::size_t i = 0; i < streams.size(); ++i)
    dir_entry(streams[i].first, 2, i + 1 < streams.size() ? static_cast<std::uint32_t>(i + 2) : free_sector,
              free_sector, start[i], static_cast<std::uint32_t>(streams[i].second.size()));
  return file.str() + padded(dir) + padded(mini_fat) + padded(mini) + data;
}

std::uint32_t u32_at(const std::string& file, std::size_t at) {
  std::uint32_t v = 0;
  for (std::size_t i = 4; i-- > 0;) v = (v << 8) | static_cast<unsigned char>(file[at + i]);
  return v;
}

// The FAT of compound_file() is contiguous from its first sector.
void set_fat_entry(std::string& file, std::uint32_t index, std::uint32_t value) {
  file.replace((u32_at(file, 0x4C) + 1) * std::size_t{sector} + 4 * index, 4, bytes().u32(value));
}

namespace early {

namespace {

std::uint16_t bof_type(int version) { return version == 2 ? 0x0009 : version == 3 ? 0x0209 : 0x0409; }

std::string bof(int version, unsigned substream) {
  bytes b;
  b.u16(static_cast<unsigned>(version) << 8).u16(substream);
  if (version != 2) b.u16(0);  // build
  return record(bof_type(version), b);
}

// Row, column and the style: BIFF2 attribute bytes (XF 0, the format, no
// font or alignment), or an XF index.
bytes cell_head(int version, unsigned row, unsigned col, unsigned style) {
  bytes b;
  b.u16(row).u16(col);
  if (version == 2)
    b.u8(0).u8(style & 0x3F).u8(0);
  else
    b.u16(style);
  return b;
}

// The number of a record that BIFF2 numbers 0x00NN and BIFF3 and 4 0x02NN.
std::uint16_t cell_record(int version, unsigned low) {
  return static_cast<std::uint16_t>(version == 2 ? low : 0x0200 | low);
}

}  // namespace

std::string sheet(int version, const std::string& records) { return bof(version, 0x10) + records + record(0x000A, ""); }

std::string chart(int version) { return bof(version, 0x20) + record(0x000A, ""); }

std::string workbook4(const std::string& globals, const std::vector<std::pair<std::string, std::string>>& sheets) {
  std::string out = bof(4, 0x100) + globals;
  for (const auto& [name, stream] : sheets) {
    out +=
        record(0x008F,
               bytes().u32(static_cast<std::uint32_t>(stream.size())).u8(static_cast<unsigned>(name.size())).raw(name));
    out += stream;
  }
  return out + record(0x000A, "");
}

std::string codepage(unsigned id) { return record(0x0042, bytes().u16(id)); }
std::string datemode(bool date1904) { return record(0x0022, bytes().u16(date1904 ? 1 : 0)); }

std::string format(int version, const std::string& code) {
  bytes b;
  if (version == 4) b.u16(0);
  b.u8(static_cast<unsigned>(code.size())).raw(code);
  return record(version == 4 ? 0x041E : 0x001E, b);
}

std::string xf(int version, unsigned format) {
  if (version == 2) return record(0x0043, bytes().u8(0).u8(0).u8(format & 0x3F).u8(0));
  // Font, format, then type, alignment, colours and borders left zero.
  return record(version == 3 ? 0x0243 : 0x0443, bytes().u8(0).u8(format).raw(std::string(10, '\0')));
}

std::string number(int version, unsigned row, unsigned col, unsigned style, double value) {
  return record(cell_record(version, 0x03), cell_head(version, row, col, style).f64(value));
}

std::string integer(unsigned row, unsigned col, unsigned style, unsigned value) {
  return record(0x0002, cell_head(2, row, col, style).u16(value));
}

std::string label(int version, unsigned row, unsigned col, unsigned style, const std::string& text) {
  bytes b = cell_head(version, row, col, style);
  version == 2 ? b.u8(static_cast<unsigned>(text.size())) : b.u16(static_cast<unsigned>(text.size()));
  return record(cell_record(version, 0x04), b.raw(text));
}

std::string boolerr(int version, unsigned row, unsigned col, unsigned value, bool is_error) {
  return record(cell_record(version, 0x05), cell_head(version, row, col, 0).u8(value).u8(is_error ? 1 : 0));
}

std::string formula(int version, unsigned row, unsigned col, unsigned style, const std::string& result) {
  bytes b = cell_head(version, row, col, style);
  b.raw(result);
  // Options and an expression of one token (ptgInt 1).
  if (version == 2)
    b.u8(0).u8(3);
  else
    b.u16(0).u16(3);
  b.u8(0x1E).u16(1);
  return record(version == 2 ? 0x0006 : version == 3 ? 0x0206 : 0x0406, b);
}

std::string string(int version, const std::string& text) {
  bytes b;
  version == 2 ? b.u8(static_cast<unsigned>(text.size())) : b.u16(static_cast<unsigned>(text.size()));
  return record(cell_record(version, 0x07), b.raw(text));
}

}  // namespace early

}  // namespace biff_test

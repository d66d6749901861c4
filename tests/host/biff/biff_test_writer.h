// A tiny writer of BIFF records and compound files for the .xls reader
// tests: it builds what the fixture writer cannot (BIFF5 with a code page,
// formulas with cached results, FILEPASS, split strings, odd layouts).
// Written from the file format, independently of the reader under test.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace biff_test {

// Little-endian bytes.
class bytes {
 public:
  bytes& u8(unsigned v);
  bytes& u16(unsigned v);
  bytes& u32(std::uint32_t v);
  bytes& f64(double v);
  bytes& raw(std::string_view s);
  const std::string& str() const { return s_; }
  operator const std::string&() const { return s_; }

 private:
  std::string s_;
};

// One record: type, length, body.
std::string record(std::uint16_t type, const std::string& body);

// A BIFF8 string with a 16-bit count (`wide_count`) or an 8-bit one, then a
// flag byte and one byte per character when every unit is below 0x100 (and
// `two_byte` is false), else two.
std::string unicode_string(std::u16string_view text, bool wide_count, bool two_byte = false);

// Cell records (BIFF5 and BIFF8 share these layouts).
std::string number_cell(unsigned row, unsigned col, unsigned xf, double value);
std::string rk_cell(unsigned row, unsigned col, unsigned xf, std::uint32_t rk);
std::string labelsst_cell(unsigned row, unsigned col, std::uint32_t index);
// FORMULA with an 8-byte cached result as given and an empty expression.
std::string formula_cell(unsigned row, unsigned col, unsigned xf, const std::string& result);
std::string formula_number(double value);
// The special results: 0 string (a STRING record follows), 1 boolean, 2 error, 3 empty string.
std::string formula_special(unsigned kind, unsigned value = 0);

struct sheet {
  std::string name;           // BIFF8: Latin-1; BIFF5: bytes in the workbook's code page
  unsigned state = 0;         // 0 visible, 1 hidden, 2 very hidden
  unsigned type = 0;          // BOUNDSHEET type: 0 worksheet, 2 chart
  unsigned substream = 0x10;  // BOF type of the sheet's substream
  std::string records;        // between the sheet's BOF and EOF
};

// A workbook stream: globals (BOF, `globals`, one BOUNDSHEET per sheet,
// `after_sheets` (e.g. the SST), EOF), then each sheet (BOF, records, EOF),
// with the BOUNDSHEET offsets filled in. `version` is 8 or 5.
std::string workbook_stream(int version, const std::string& globals, const std::vector<sheet>& sheets,
                            const std::string& after_sheets = "");

// The default XF records: `count` of them with format id 0, then one per id in `formats`.
std::string xf_records(int version, const std::vector<unsigned>& formats, unsigned count = 16);

// A version 3 compound file holding `streams` (name, bytes) in the root
// storage. Streams under 4,096 bytes go to the mini stream. The allocation
// tables and the directory come first, the stream data last, so cutting the
// file short cuts a stream.
std::string compound_file(const std::vector<std::pair<std::u16string, std::string>>& streams);

// The little-endian 32-bit number at `at`.
std::uint32_t u32_at(const std::string& file, std::size_t at);

// Sets entry `index` of the FAT of a file made by compound_file(); its
// streams' chains are contiguous.
void set_fat_entry(std::string& file, std::uint32_t index, std::uint32_t value);

// Excel 2.x-4.0 files (BIFF2, 3, 4: `version` 2, 3 or 4): bare record
// streams. A cell's `style` is, in BIFF2, the number format index its
// attribute bytes carry, in BIFF3 and 4 its XF index. Byte strings are
// written as given (bytes of the file's code page).
namespace early {
// The records of a worksheet file: BOF (worksheet), `records`, EOF.
std::string sheet(int version, const std::string& records);
// An Excel 4.0 workbook: BOF (workbook), `globals`, then per sheet a
// SHEETHDR (size, name) and its stream (from sheet() or chart()), EOF.
std::string workbook4(const std::string& globals, const std::vector<std::pair<std::string, std::string>>& sheets);
// A chart sheet's stream.
std::string chart(int version);

std::string codepage(unsigned id);
std::string datemode(bool date1904);
// FORMAT records are referred to by their position; XF records name one.
std::string format(int version, const std::string& code);
std::string xf(int version, unsigned format);

std::string number(int version, unsigned row, unsigned col, unsigned style, double value);
std::string integer(unsigned row, unsigned col, unsigned style, unsigned value);  // BIFF2
std::string label(int version, unsigned row, unsigned col, unsigned style, const std::string& text);
std::string boolerr(int version, unsigned row, unsigned col, unsigned value, bool is_error);
// FORMULA with a cached result as formula_number() or formula_special() give it.
std::string formula(int version, unsigned row, unsigned col, unsigned style, const std::string& result);
// The STRING record that holds the result of a string formula.
std::string string(int version, const std::string& text);
}  // namespace early

}  // namespace biff_test

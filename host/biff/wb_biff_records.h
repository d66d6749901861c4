// Record numbers of the BIFF workbook streams that the readers interpret.
// Everything else is skipped by length.
#pragma once

#include <cstdint>
#include <cstring>

namespace wb_biff_record {
inline constexpr std::uint16_t formula = 0x0006;
inline constexpr std::uint16_t eof = 0x000A;
inline constexpr std::uint16_t datemode = 0x0022;
inline constexpr std::uint16_t filepass = 0x002F;
inline constexpr std::uint16_t continue_ = 0x003C;
inline constexpr std::uint16_t codepage = 0x0042;
inline constexpr std::uint16_t wsbool = 0x0081;
inline constexpr std::uint16_t boundsheet = 0x0085;
inline constexpr std::uint16_t mulrk = 0x00BD;
inline constexpr std::uint16_t mulblank = 0x00BE;
inline constexpr std::uint16_t rstring = 0x00D6;
inline constexpr std::uint16_t dbcell = 0x00D7;
inline constexpr std::uint16_t xf = 0x00E0;
inline constexpr std::uint16_t sst = 0x00FC;
inline constexpr std::uint16_t labelsst = 0x00FD;
inline constexpr std::uint16_t dimension = 0x0200;
inline constexpr std::uint16_t blank = 0x0201;
inline constexpr std::uint16_t number = 0x0203;
inline constexpr std::uint16_t label = 0x0204;
inline constexpr std::uint16_t boolerr = 0x0205;
inline constexpr std::uint16_t string = 0x0207;
inline constexpr std::uint16_t row = 0x0208;
inline constexpr std::uint16_t array = 0x0221;
inline constexpr std::uint16_t table = 0x0236;
inline constexpr std::uint16_t rk = 0x027E;
inline constexpr std::uint16_t recalcid = 0x01C1;
inline constexpr std::uint16_t format = 0x041E;
inline constexpr std::uint16_t shrfmla = 0x04BC;
inline constexpr std::uint16_t bof = 0x0809;
// Beginning-of-file records of BIFF2, 3 and 4 (wb_biff_early_workbook).
inline constexpr std::uint16_t bof_biff2 = 0x0009;
inline constexpr std::uint16_t bof_biff3 = 0x0209;
inline constexpr std::uint16_t bof_biff4 = 0x0409;
}  // namespace wb_biff_record

// Records of Excel 2.x to 4.0 files (BIFF2-4) that differ from the above.
// BIFF2 cell records carry three bytes of cell attributes where later
// versions have an XF index; BIFF3 and 4 share the BIFF5 cell records
// (NUMBER, LABEL, BOOLERR, RK, STRING) but not FORMULA.
namespace wb_biff_early_record {
inline constexpr std::uint16_t integer2 = 0x0002;
inline constexpr std::uint16_t number2 = 0x0003;
inline constexpr std::uint16_t label2 = 0x0004;
inline constexpr std::uint16_t boolerr2 = 0x0005;
inline constexpr std::uint16_t formula2 = 0x0006;
inline constexpr std::uint16_t string2 = 0x0007;
inline constexpr std::uint16_t format2 = 0x001E;  // BIFF2 and 3; BIFF4 uses wb_biff_record::format
inline constexpr std::uint16_t array2 = 0x0021;
inline constexpr std::uint16_t table2 = 0x0036;
inline constexpr std::uint16_t xf2 = 0x0043;
inline constexpr std::uint16_t ixfe2 = 0x0044;     // the XF index of the next cell whose attributes say 63
inline constexpr std::uint16_t sheethdr = 0x008F;  // Excel 4.0 workbook: a bundled sheet's size and name
inline constexpr std::uint16_t formula3 = 0x0206;
inline constexpr std::uint16_t xf3 = 0x0243;
inline constexpr std::uint16_t formula4 = 0x0406;
inline constexpr std::uint16_t xf4 = 0x0443;
}  // namespace wb_biff_early_record

// Substream types of a BOF record.
namespace wb_biff_substream {
inline constexpr std::uint16_t globals = 0x0005;
inline constexpr std::uint16_t worksheet = 0x0010;
inline constexpr std::uint16_t workbook4 = 0x0100;  // the globals of an Excel 4.0 workbook
}  // namespace wb_biff_substream

// An RK value: a 30-bit integer or the top 30 bits of a double, optionally
// to be divided by 100.
inline double wb_biff_decode_rk(std::uint32_t rk) {
  double value;
  if ((rk & 0x02) != 0) {
    value = static_cast<double>(static_cast<std::int32_t>(rk) >> 2);
  } else {
    const std::uint64_t bits = static_cast<std::uint64_t>(rk & 0xFFFFFFFCu) << 32;
    std::memcpy(&value, &bits, sizeof value);
  }
  return (rk & 0x01) != 0 ? value / 100.0 : value;
}

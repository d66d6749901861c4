// Record numbers of the BIFF5/7 and BIFF8 workbook streams that the reader
// interprets. Everything else is skipped by length.
#pragma once

#include <cstdint>

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
inline constexpr std::uint16_t format = 0x041E;
inline constexpr std::uint16_t shrfmla = 0x04BC;
inline constexpr std::uint16_t bof = 0x0809;
// Beginning-of-file records of BIFF2, 3 and 4, which this reader refuses.
inline constexpr std::uint16_t bof_biff2 = 0x0009;
inline constexpr std::uint16_t bof_biff3 = 0x0209;
inline constexpr std::uint16_t bof_biff4 = 0x0409;
}  // namespace wb_biff_record

// Substream types of a BOF record.
namespace wb_biff_substream {
inline constexpr std::uint16_t globals = 0x0005;
inline constexpr std::uint16_t worksheet = 0x0010;
}  // namespace wb_biff_substream

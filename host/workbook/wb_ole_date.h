// Conversions between workbook date serials and OLE dates.
//
// The 1900 date system counts 1900-01-01 as day 1 and keeps the fictitious
// 1900-02-29 as day 60; the OLE date counts days from 1899-12-30. So serials
// from 61 on are equal to OLE dates, serials 1 to 59 are one day behind, and
// serial 60 is delivered as 1900-02-28 (OLE 60, the time of day kept). The
// 1904 system counts from 1904-01-01 = day 0 and adds 1462 days.
// A serial in [0, 1) under a time format is a pure time of day in either
// system and is delivered as the OLE time (day 0), so times read as times;
// under a calendar format it is a moment of 1904-01-01 in the 1904 system
// and of no day in the 1900 system (wb_number_format::effective_class).
//
// These conversions are for calendar classes only: a duration is a plain
// count of days (1 is 24 hours) and never passes through them.
#pragma once

#include <cstdint>
#include <string_view>

// A serial below 1 is a time of day, except that in the 1904 system a cell
// formatted as a calendar day (a date, with or without its time:
// `calendar_format`) is a moment of the day 1904-01-01.
double wb_serial_to_ole(double serial, bool date1904, bool calendar_format = false);
double wb_ole_to_serial(double ole, bool date1904);

// The OLE date of 10000-01-01: every calendar day lies below it.
inline constexpr double wb_ole_after_last_day = 2958466.0;

// An OLE date split into whole days since 1899-12-30 and seconds of the day,
// rounded to the second (a time that rounds to 24:00:00 moves to the next
// day). The rule is the one of the OLE date type, which the DAO layer
// applies to date values: the day is the number truncated toward zero and
// the time of day its fraction without the sign, so -1.25 is day -1 at
// 06:00. A text of a cell and the date value of the same cell thus always
// name the same moment.
struct wb_ole_parts {
  std::int64_t days = 0;
  std::int32_t seconds = 0;
};
wb_ole_parts wb_split_ole(double ole);

// Days since 1899-12-30 of a proleptic Gregorian date, and back.
std::int64_t wb_days_from_civil(std::int64_t y, unsigned m, unsigned d);
void wb_civil_from_days(std::int64_t days, std::int64_t& y, unsigned& m, unsigned& d);

// Parses an ISO 8601 date, date-time or time ("2024-02-29", "2024-02-29T13:45:30",
// "2024-02-29 13:45:30", "13:45:30", fractions of seconds allowed, a zone
// designator ignored) into an OLE date; false for anything else (also a
// text that goes on past them).
bool wb_parse_iso_date(std::string_view text, double& ole);
// Whether a day serial of the date system reads back as the OLE date `ole`
// (in the 1900 system no serial stands for a day before 1900-01-01, nor for
// 1899-12-31; in either system a serial under 1 reads as a time of day and
// one under 0 as a number when the day would be before 1899-12-30).
bool wb_has_serial(double ole, bool date1904);

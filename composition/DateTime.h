#pragma once

#include <cstdint>
#include <string>

namespace opc {

// Days since 30 December 1899 00:00 as a double; the fraction is the time of day. Local wall-clock
// time, no zone.
using TDateTime = double;

// A calendar date and time of day, as the platform clock reports it.
struct TSystemTime {
  int Year, Month, Day, Hour, Minute, Second, Milliseconds;
};

// The days from 30 December 1899 to the date, plus the time of day in milliseconds / 86400000.
TDateTime EncodeDateTime(const TSystemTime& time);

// DateTime + Seconds / 86400, formed in extended precision.
TDateTime AddSeconds(TDateTime dateTime, long double seconds);

// The value rounded to whole milliseconds (not truncated), split into a date of the proleptic
// Gregorian calendar and a time of day; a carry reaches the seconds, the date and the year.
TSystemTime DecodeDateTime(TDateTime dateTime);

// "yyyy-mm-ddThh:nn:ss.zzz" in ASCII digits, whatever the locale.
std::u16string FormatDateTime23(TDateTime dateTime);

} // namespace opc

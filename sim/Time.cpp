#include "sim/Time.h"

#include <cstdio>
#include <ctime>

namespace opc::sim {

std::string XsdTime(TClock::time_point when) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch());
  const std::time_t seconds = static_cast<std::time_t>(ms.count() / 1000);
  std::tm local{};
  localtime_r(&seconds, &local);
  const long offset = local.tm_gmtoff / 60;
  char text[96];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02ld:%02ld",
                local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                local.tm_sec, static_cast<int>(ms.count() % 1000), offset < 0 ? '-' : '+',
                std::labs(offset) / 60, std::labs(offset) % 60);
  return text;
}

std::string XsdNow() {
  return XsdTime(TClock::now());
}

namespace {

// Reads exactly `width` digits at `at`.
bool Digits(std::string_view text, std::size_t& at, std::size_t width, int& value) {
  if (at + width > text.size()) {
    return false;
  }
  value = 0;
  for (std::size_t i = 0; i < width; ++i) {
    const char c = text[at + i];
    if (c < '0' || c > '9') {
      return false;
    }
    value = value * 10 + (c - '0');
  }
  at += width;
  return true;
}

bool Expect(std::string_view text, std::size_t& at, char c) {
  if (at < text.size() && text[at] == c) {
    ++at;
    return true;
  }
  return false;
}

bool LeapYear(long long year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(long long year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && LeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 1970-01-01 to the date of the proleptic Gregorian calendar.
long long DaysFromCivil(long long year, int month, int day) {
  year -= month <= 2;
  const long long era = (year >= 0 ? year : year - 399) / 400;
  const long long yearOfEra = year - era * 400;
  const long long dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const long long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

} // namespace

std::optional<TClock::time_point> ParseXsdTime(std::string_view text) {
  // The schema's whitespace rule for dateTime is "collapse": spaces around the value go.
  while (!text.empty() && IsSpace(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && IsSpace(text.back())) {
    text.remove_suffix(1);
  }
  std::size_t at = 0;
  // A year of four digits or more (no leading zero then), after a minus sign for years before
  // the era; years the clock cannot hold are read all the same and end up at its ends.
  const bool beforeEra = Expect(text, at, '-');
  const std::size_t yearStart = at;
  long long year = 0;
  bool yearHuge = false;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
    yearHuge = yearHuge || year > 100'000'000;
    year = yearHuge ? year : year * 10 + (text[at] - '0');
  }
  const std::size_t yearDigits = at - yearStart;
  if (yearDigits < 4 || (yearDigits > 4 && text[yearStart] == '0') || year == 0) {
    return std::nullopt;
  }
  year = beforeEra ? 1 - year : year; // -0001 is the year before 1, astronomical year 0
  int month, day, hour, minute, second;
  if (!Expect(text, at, '-') || !Digits(text, at, 2, month) || !Expect(text, at, '-') ||
      !Digits(text, at, 2, day) || !Expect(text, at, 'T') || !Digits(text, at, 2, hour) ||
      !Expect(text, at, ':') || !Digits(text, at, 2, minute) || !Expect(text, at, ':') ||
      !Digits(text, at, 2, second)) {
    return std::nullopt;
  }
  // Any number of fractional digits; those below a nanosecond are read and dropped.
  long long nanoseconds = 0;
  bool fractionNonZero = false;
  if (Expect(text, at, '.')) {
    const std::size_t first = at;
    long long scale = 100'000'000;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
      nanoseconds += (text[at] - '0') * scale;
      scale /= 10;
      fractionNonZero = fractionNonZero || text[at] != '0';
    }
    if (at == first) {
      return std::nullopt;
    }
  }
  if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || minute > 59 ||
      second > 59 || hour > 24 || (hour == 24 && (minute != 0 || second != 0 || fractionNonZero))) {
    return std::nullopt;
  }
  long long offsetMinutes = 0;
  bool zoned = false;
  if (Expect(text, at, 'Z')) {
    zoned = true;
  } else if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
    const bool negative = text[at++] == '-';
    int zh, zm;
    if (!Digits(text, at, 2, zh) || !Expect(text, at, ':') || !Digits(text, at, 2, zm) || zm > 59 ||
        zh > 14 || (zh == 14 && zm != 0)) {
      return std::nullopt;
    }
    zoned = true;
    offsetMinutes = (negative ? -1 : 1) * (zh * 60 + zm);
  }
  if (at != text.size()) {
    return std::nullopt; // trailing text
  }
  using namespace std::chrono;
  // The system clock counts nanoseconds in 64 bits: some 292 years either side of 1970. A time
  // beyond that is as far as the clock goes.
  constexpr long long kLimit = 9'000'000'000LL;
  if (yearHuge || year < 1000 || year > 3000) {
    return year < 1970 ? TClock::time_point::min() : TClock::time_point::max();
  }
  long long total = DaysFromCivil(year, month, day) * 86400 + hour * 3600LL + minute * 60LL +
                    second - offsetMinutes * 60;
  if (total < -kLimit || total > kLimit) {
    return total < 0 ? TClock::time_point::min() : TClock::time_point::max();
  }
  if (!zoned) {
    // Local time, with the zone's rules for that date (summer time included).
    std::tm parts{};
    parts.tm_year = static_cast<int>(year - 1900);
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_hour = hour;
    parts.tm_min = minute;
    parts.tm_sec = second;
    parts.tm_isdst = -1;
    const std::time_t local = std::mktime(&parts);
    if (local == -1 && total != -1) { // -1 is also the last second of 1969, in a zone at UTC
      return std::nullopt;
    }
    total = local;
  }
  return TClock::time_point(duration_cast<TClock::duration>(seconds(total)) +
                            duration_cast<TClock::duration>(std::chrono::nanoseconds(nanoseconds)));
}

} // namespace opc::sim

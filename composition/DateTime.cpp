#include "composition/DateTime.h"

#include <chrono>
#include <cmath>

namespace opc {

namespace {

using namespace std::chrono;

constexpr std::int64_t kMsPerDay = 86'400'000;
constexpr sys_days kEpoch = sys_days(year(1899) / December / 30);

void AppendDigits(std::u16string& out, long long value, int width) {
  if (value < 0) {
    out += u'-';
    value = -value;
  }
  char digits[24];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value > 0);
  for (int pad = n; pad < width; ++pad) {
    out += u'0';
  }
  while (n > 0) {
    out += static_cast<char16_t>(digits[--n]);
  }
}

} // namespace

TDateTime EncodeDateTime(const TSystemTime& t) {
  const sys_days date =
      year(t.Year) / month(static_cast<unsigned>(t.Month)) / day(static_cast<unsigned>(t.Day));
  const auto days = static_cast<double>((date - kEpoch).count());
  const auto ms = static_cast<double>(t.Hour * 3'600'000 + t.Minute * 60'000 + t.Second * 1'000 +
                                      t.Milliseconds);
  return days + ms / static_cast<double>(kMsPerDay);
}

TDateTime AddSeconds(TDateTime dateTime, long double seconds) {
  return static_cast<TDateTime>(static_cast<long double>(dateTime) + seconds / 86400.0L);
}

TSystemTime DecodeDateTime(TDateTime dateTime) {
  const auto total = static_cast<std::int64_t>(std::llround(dateTime * kMsPerDay));
  std::int64_t days = total / kMsPerDay;
  std::int64_t ms = total % kMsPerDay;
  if (ms < 0) {
    ms += kMsPerDay;
    --days;
  }
  const year_month_day date(kEpoch + std::chrono::days(days));
  return TSystemTime{static_cast<int>(date.year()),
                     static_cast<int>(static_cast<unsigned>(date.month())),
                     static_cast<int>(static_cast<unsigned>(date.day())),
                     static_cast<int>(ms / 3'600'000),
                     static_cast<int>(ms / 60'000 % 60),
                     static_cast<int>(ms / 1'000 % 60),
                     static_cast<int>(ms % 1'000)};
}

std::u16string FormatDateTime23(TDateTime dateTime) {
  const TSystemTime t = DecodeDateTime(dateTime);
  std::u16string out;
  out.reserve(29);
  AppendDigits(out, t.Year, 4);
  out += u'-';
  AppendDigits(out, t.Month, 2);
  out += u'-';
  AppendDigits(out, t.Day, 2);
  out += u'T';
  AppendDigits(out, t.Hour, 2);
  out += u':';
  AppendDigits(out, t.Minute, 2);
  out += u':';
  AppendDigits(out, t.Second, 2);
  out += u'.';
  AppendDigits(out, t.Milliseconds, 3);
  return out;
}

} // namespace opc

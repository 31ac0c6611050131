#include "xmlda/XsdDateTime.h"

namespace opc::xmlda {

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Exactly count digits at text[at...]; moves at behind them.
bool Digits(std::string_view text, std::size_t& at, int count, int& value) {
  if (at + static_cast<std::size_t>(count) > text.size()) {
    return false;
  }
  value = 0;
  for (int i = 0; i < count; ++i) {
    const char c = text[at + static_cast<std::size_t>(i)];
    if (!IsDigit(c)) {
      return false;
    }
    value = value * 10 + (c - '0');
  }
  at += static_cast<std::size_t>(count);
  return true;
}

bool Literal(std::string_view text, std::size_t& at, char c) {
  if (at < text.size() && text[at] == c) {
    ++at;
    return true;
  }
  return false;
}

bool IsLeap(long year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(long year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

// Days from 1970-01-01 to the date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

std::string_view Trim(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && blank(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && blank(text.back())) {
    text.remove_suffix(1);
  }
  return text;
}

} // namespace

std::int64_t TDateTime::UnixMicros(int assumedOffsetMinutes) const {
  const int offset = hasZone ? offsetMinutes : assumedOffsetMinutes;
  const std::int64_t days = DaysFromCivil(year, month, day);
  const std::int64_t seconds =
      days * 86400 + hour * 3600 + minute * 60 + second - static_cast<std::int64_t>(offset) * 60;
  return seconds * 1'000'000 + ticks / 10;
}

std::optional<TDateTime> ParseXsdDateTime(std::string_view original) {
  const std::string_view text = Trim(original);
  TDateTime value;
  value.text = std::string(original);
  std::size_t at = 0;
  bool negative = Literal(text, at, '-');
  // The year has four digits or more; a fifth digit may not be a leading zero.
  const std::size_t yearStart = at;
  while (at < text.size() && IsDigit(text[at]) && at - yearStart < 9) {
    ++at;
  }
  const std::size_t yearDigits = at - yearStart;
  if (yearDigits < 4 || (yearDigits > 4 && text[yearStart] == '0')) {
    return std::nullopt;
  }
  long year = 0;
  for (std::size_t i = yearStart; i < at; ++i) {
    year = year * 10 + (text[i] - '0');
  }
  if (year == 0 || (at < text.size() && IsDigit(text[at]))) {
    return std::nullopt; // there is no year 0; more than nine digits is no server's year
  }
  value.year = static_cast<int>(negative ? -year : year);
  if (!Literal(text, at, '-') || !Digits(text, at, 2, value.month) || !Literal(text, at, '-') ||
      !Digits(text, at, 2, value.day) || !Literal(text, at, 'T') ||
      !Digits(text, at, 2, value.hour) || !Literal(text, at, ':') ||
      !Digits(text, at, 2, value.minute) || !Literal(text, at, ':') ||
      !Digits(text, at, 2, value.second)) {
    return std::nullopt;
  }
  if (Literal(text, at, '.')) {
    const std::size_t start = at;
    while (at < text.size() && IsDigit(text[at])) {
      if (at - start < 7) {
        value.ticks = value.ticks * 10 + (text[at] - '0');
      }
      ++at;
    }
    value.fractionDigits = static_cast<int>(at - start);
    if (value.fractionDigits == 0) {
      return std::nullopt;
    }
    for (int i = value.fractionDigits; i < 7; ++i) {
      value.ticks *= 10;
    }
  }
  if (Literal(text, at, 'Z')) {
    value.hasZone = true;
  } else if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
    const int sign = text[at] == '-' ? -1 : 1;
    ++at;
    int hours = 0, minutes = 0;
    if (!Digits(text, at, 2, hours) || !Literal(text, at, ':') || !Digits(text, at, 2, minutes) ||
        minutes > 59 || hours > 14 || (hours == 14 && minutes != 0)) {
      return std::nullopt;
    }
    value.hasZone = true;
    value.offsetMinutes = sign * (hours * 60 + minutes);
  }
  if (at != text.size()) {
    return std::nullopt;
  }
  if (value.month < 1 || value.month > 12 || value.day < 1 ||
      value.day > DaysInMonth(value.year, value.month) || value.minute > 59 || value.second > 59) {
    return std::nullopt;
  }
  if (value.hour > 24 || (value.hour == 24 && (value.minute || value.second || value.ticks))) {
    return std::nullopt;
  }
  return value;
}

} // namespace opc::xmlda

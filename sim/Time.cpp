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

std::optional<TClock::time_point> ParseXsdTime(const std::string& text) {
  int year, month, day, hour, minute, consumed = 0;
  double second;
  // Fixed widths, so that no field can overflow its number, and every field in its range.
  if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%6lf%n", &year, &month, &day, &hour, &minute,
                  &second, &consumed) != 6) {
    return std::nullopt;
  }
  if (year < 1900 || year > 2200 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 ||
      hour > 24 || minute < 0 || minute > 59 || !(second >= 0 && second < 61)) {
    return std::nullopt; // beyond the calendar or what the clock's time points can hold
  }
  std::tm parts{};
  parts.tm_year = year - 1900;
  parts.tm_mon = month - 1;
  parts.tm_mday = day;
  parts.tm_hour = hour;
  parts.tm_min = minute;
  parts.tm_sec = 0;
  const std::string zone = text.substr(static_cast<std::size_t>(consumed));
  std::time_t base;
  if (zone.empty()) {
    parts.tm_isdst = -1;
    base = std::mktime(&parts);
  } else {
    base = timegm(&parts);
    if (zone != "Z") {
      int zh = 0, zm = 0;
      char sign = 0;
      if (std::sscanf(zone.c_str(), "%c%2d:%2d", &sign, &zh, &zm) != 3 ||
          (sign != '+' && sign != '-') || zh < 0 || zh > 14 || zm < 0 || zm > 59) {
        return std::nullopt;
      }
      base -= (sign == '+' ? 1 : -1) * (zh * 3600 + zm * 60);
    }
  }
  if (base == -1) {
    return std::nullopt;
  }
  return TClock::from_time_t(base) +
         std::chrono::milliseconds(static_cast<long long>(second * 1000 + 0.5));
}

} // namespace opc::sim

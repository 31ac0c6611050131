#pragma once

#include "composition/DateTime.h"

#include <cstdint>

namespace opc {

// What the platform says of its time zone, in minutes, with UTC = local time + bias.
struct TTimeZoneInformation {
  int Bias = 0;         // the zone's standard offset
  int StandardBias = 0; // added while standard time is in force
  int DaylightBias = 0; // added while daylight time is in force
};

// Results of the zone query.
inline constexpr std::uint32_t TIME_ZONE_ID_UNKNOWN = 0; // no daylight saving in this zone
inline constexpr std::uint32_t TIME_ZONE_ID_STANDARD = 1;
inline constexpr std::uint32_t TIME_ZONE_ID_DAYLIGHT = 2;
inline constexpr std::uint32_t TIME_ZONE_ID_INVALID = 0xFFFFFFFF;

// The two reads of the platform that timestamps need. Tests install their own.
class TPlatformClock {
public:
  virtual ~TPlatformClock() = default;
  virtual TSystemTime GetLocalTime() = 0;
  virtual std::uint32_t GetTimeZoneInformation(TTimeZoneInformation& zone) = 0;
};

// The clock in use: the machine's, unless a test has installed another.
TPlatformClock& CurrentClock();

// Installs a clock for the lifetime of this object.
class ScopedClock {
public:
  explicit ScopedClock(TPlatformClock& clock);
  ~ScopedClock();
  ScopedClock(const ScopedClock&) = delete;
  ScopedClock& operator=(const ScopedClock&) = delete;

private:
  TPlatformClock* FPrevious;
};

} // namespace opc

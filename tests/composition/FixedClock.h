#pragma once

#include "composition/PlatformClock.h"

namespace opc::test {

// A clock that tests set: a fixed now (optionally moving by a step at every reading) and a fixed
// zone record with its query result.
class FixedClock final : public TPlatformClock {
public:
  TSystemTime now{2024, 5, 1, 14, 3, 7, 123};
  int stepMs = 0;
  TTimeZoneInformation zone{-60, 0, -60};
  std::uint32_t result = TIME_ZONE_ID_DAYLIGHT;
  int readings = 0;

  TSystemTime GetLocalTime() override {
    ++readings;
    const TSystemTime reading = now;
    now = DecodeDateTime(EncodeDateTime(now) + stepMs / 86400000.0);
    return reading;
  }
  std::uint32_t GetTimeZoneInformation(TTimeZoneInformation& z) override {
    z = zone;
    return result;
  }
};

} // namespace opc::test

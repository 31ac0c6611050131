#include "composition/PlatformClock.h"

#include <ctime>

namespace opc {

namespace {

bool LocalTm(std::time_t when, std::tm& tm) {
  return localtime_r(&when, &tm) != nullptr;
}

// The machine's clock and zone: clock_gettime and localtime_r. The zone is read afresh each time
// (tzset), so a change of TZ or of the system zone shows at the next call.
class TMachineClock final : public TPlatformClock {
public:
  TSystemTime GetLocalTime() override {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tzset();
    std::tm tm{};
    if (!LocalTm(now.tv_sec, tm)) {
      gmtime_r(&now.tv_sec, &tm);
    }
    return TSystemTime{tm.tm_year + 1900,
                       tm.tm_mon + 1,
                       tm.tm_mday,
                       tm.tm_hour,
                       tm.tm_min,
                       tm.tm_sec,
                       static_cast<int>(now.tv_nsec / 1'000'000)};
  }

  // The Windows record from what localtime_r tells: the zone has daylight saving when January and
  // July of this year differ in it; Bias is the standard offset, DaylightBias the extra shift.
  std::uint32_t GetTimeZoneInformation(TTimeZoneInformation& zone) override {
    tzset();
    const std::time_t now = std::time(nullptr);
    std::tm current{};
    if (!LocalTm(now, current)) {
      return TIME_ZONE_ID_INVALID;
    }
    std::tm probe = current;
    probe.tm_mon = 0, probe.tm_mday = 1, probe.tm_hour = 12, probe.tm_isdst = -1;
    std::tm january{}, july{};
    const std::time_t januaryAt = std::mktime(&probe);
    probe = current;
    probe.tm_mon = 6, probe.tm_mday = 1, probe.tm_hour = 12, probe.tm_isdst = -1;
    const std::time_t julyAt = std::mktime(&probe);
    if (januaryAt == -1 || julyAt == -1 || !LocalTm(januaryAt, january) || !LocalTm(julyAt, july)) {
      return TIME_ZONE_ID_INVALID;
    }
    const int currentBias = static_cast<int>(-current.tm_gmtoff / 60);
    if (january.tm_isdst <= 0 && july.tm_isdst <= 0) {
      zone = TTimeZoneInformation{currentBias, 0, 0};
      return TIME_ZONE_ID_UNKNOWN;
    }
    const std::tm& standard = january.tm_isdst > 0 ? july : january;
    const std::tm& daylight = january.tm_isdst > 0 ? january : july;
    const int standardBias = static_cast<int>(-standard.tm_gmtoff / 60);
    zone = TTimeZoneInformation{standardBias, 0,
                                static_cast<int>(-daylight.tm_gmtoff / 60) - standardBias};
    if (current.tm_isdst > 0) {
      // Keep the sum exact even in a year whose shift differs from January's and July's.
      zone.DaylightBias = currentBias - standardBias;
      return TIME_ZONE_ID_DAYLIGHT;
    }
    zone.Bias = currentBias;
    return TIME_ZONE_ID_STANDARD;
  }
};

TMachineClock gMachineClock;
TPlatformClock* gClock = &gMachineClock;

} // namespace

TPlatformClock& CurrentClock() {
  return *gClock;
}

ScopedClock::ScopedClock(TPlatformClock& clock) : FPrevious(gClock) {
  gClock = &clock;
}
ScopedClock::~ScopedClock() {
  gClock = FPrevious;
}

} // namespace opc

#include "composition/Timestamps.h"

#include "base/Format.h"
#include "composition/PlatformClock.h"

#include <cstdlib>

namespace opc {

int LocalUtcBias() {
  TTimeZoneInformation zone;
  switch (CurrentClock().GetTimeZoneInformation(zone)) {
  case TIME_ZONE_ID_STANDARD:
    return zone.Bias + zone.StandardBias;
  case TIME_ZONE_ID_DAYLIGHT:
    return zone.Bias + zone.DaylightBias;
  case TIME_ZONE_ID_UNKNOWN:
    return zone.Bias;
  default:
    return 0;
  }
}

namespace {

std::u16string TwoDigits(int value) {
  std::u16string out;
  if (value < 10) {
    out += u'0';
  }
  for (char c : std::to_string(value)) {
    out += static_cast<char16_t>(c);
  }
  return out;
}

} // namespace

std::u16string DateTimeToXsd(TDateTime dateTime, bool isLocal) {
  std::u16string text = FormatDateTime23(dateTime);
  const int bias = LocalUtcBias();
  if (!isLocal || bias == 0) {
    return text + u'Z';
  }
  const std::u16string sign = bias < 0 ? u"+" : u"-";
  const int minutes = std::abs(bias);
  return Format(u"%s%s%s:%s", {text, sign, TwoDigits(minutes / 60), TwoDigits(minutes % 60)});
}

} // namespace opc

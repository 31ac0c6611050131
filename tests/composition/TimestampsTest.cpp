#include "composition/Timestamps.h"

#include "FixedClock.h"
#include "composition/DateTime.h"

#include <gtest/gtest.h>

namespace opc::test {
namespace {

struct ZoneCase {
  const char* name;
  TTimeZoneInformation zone;
  std::uint32_t result;
  bool isLocal;
  const char16_t* designator;
};

class ZoneDesignator : public testing::TestWithParam<ZoneCase> {};

TEST_P(ZoneDesignator, FollowsTheBiasOfTheZoneQuery) {
  FixedClock clock;
  clock.zone = GetParam().zone;
  clock.result = GetParam().result;
  ScopedClock installed(clock);
  const TDateTime value = EncodeDateTime({2024, 5, 1, 14, 3, 7, 123});
  EXPECT_EQ(DateTimeToXsd(value, GetParam().isLocal),
            std::u16string(u"2024-05-01T14:03:07.123") + GetParam().designator);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ZoneDesignator,
    testing::Values(
        ZoneCase{"standard_300", {300, 0, -60}, TIME_ZONE_ID_STANDARD, true, u"-05:00"},
        ZoneCase{"daylight_240", {300, 0, -60}, TIME_ZONE_ID_DAYLIGHT, true, u"-04:00"},
        ZoneCase{"india_minus_330", {-330, 0, 0}, TIME_ZONE_ID_STANDARD, true, u"+05:30"},
        ZoneCase{"nepal_minus_345", {-345, 0, 0}, TIME_ZONE_ID_UNKNOWN, true, u"+05:45"},
        ZoneCase{"standard_bias_added", {-60, -30, 0}, TIME_ZONE_ID_STANDARD, true, u"+01:30"},
        ZoneCase{"daylight_minus_120", {-60, 0, -60}, TIME_ZONE_ID_DAYLIGHT, true, u"+02:00"},
        ZoneCase{"fixed_offset_minus_540", {-540, 0, -60}, TIME_ZONE_ID_UNKNOWN, true, u"+09:00"},
        ZoneCase{"utc", {0, 0, -60}, TIME_ZONE_ID_STANDARD, true, u"Z"},
        ZoneCase{"failed_query", {-60, 0, -60}, TIME_ZONE_ID_INVALID, true, u"Z"},
        ZoneCase{"other_result", {-60, 0, -60}, 3, true, u"Z"},
        ZoneCase{"not_local", {300, 0, -60}, TIME_ZONE_ID_STANDARD, false, u"Z"},
        ZoneCase{"over_ten_hours", {-765, 0, 0}, TIME_ZONE_ID_UNKNOWN, true, u"+12:45"}),
    [](const auto& info) { return std::string(info.param.name); });

struct TextCase {
  const char* name;
  TDateTime value;
  const char16_t* text;
};

class DateTimeText : public testing::TestWithParam<TextCase> {};

TEST_P(DateTimeText, RoundsToMillisecondsAndCarries) {
  EXPECT_EQ(FormatDateTime23(GetParam().value), GetParam().text);
}

const TDateTime kMay2Midnight = EncodeDateTime({2024, 5, 2, 0, 0, 0, 0});

INSTANTIATE_TEST_SUITE_P(
    Cases, DateTimeText,
    testing::Values(
        TextCase{"epoch", 0.0, u"1899-12-30T00:00:00.000"},
        TextCase{"noon", 0.5, u"1899-12-30T12:00:00.000"},
        TextCase{"before_epoch", -1.25, u"1899-12-28T18:00:00.000"},
        TextCase{"round_up_before_midnight", kMay2Midnight - 0.4 / 86400000.0,
                 u"2024-05-02T00:00:00.000"},
        TextCase{"round_down_after_midnight", kMay2Midnight + 0.4 / 86400000.0,
                 u"2024-05-02T00:00:00.000"},
        TextCase{"half_ms_rounds_up", EncodeDateTime({2024, 5, 1, 0, 0, 0, 1}) + 0.5 / 86400000.0,
                 u"2024-05-01T00:00:00.002"},
        TextCase{"leap_day", EncodeDateTime({2024, 2, 29, 23, 59, 59, 999}),
                 u"2024-02-29T23:59:59.999"},
        TextCase{"year_9999", EncodeDateTime({9999, 12, 31, 23, 59, 59, 999}),
                 u"9999-12-31T23:59:59.999"},
        TextCase{"year_1", EncodeDateTime({1, 1, 1, 0, 0, 0, 0}), u"0001-01-01T00:00:00.000"},
        TextCase{"year_carry", AddSeconds(EncodeDateTime({2024, 12, 31, 23, 59, 59, 500}), 1),
                 u"2025-01-01T00:00:00.500"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AddSeconds, MovesWholeMillisecondValuesExactly) {
  // Every millisecond of one minute, moved by the composition's offsets, keeps its text exact.
  const TDateTime base = EncodeDateTime({2024, 5, 1, 14, 3, 0, 0});
  for (int ms = 0; ms < 60'000; ms += 7) {
    const TDateTime now = base + ms / 86400000.0;
    const TSystemTime t = DecodeDateTime(now);
    const TSystemTime plus = DecodeDateTime(AddSeconds(now, 60));
    ASSERT_EQ(plus.Milliseconds, t.Milliseconds);
    ASSERT_EQ(plus.Second, t.Second);
    ASSERT_EQ(plus.Minute, t.Minute + 1);
    ASSERT_EQ(DecodeDateTime(AddSeconds(AddSeconds(now, 1), -1)).Milliseconds, t.Milliseconds);
  }
}

// The machine's own zone reading, with TZ naming zones of known offsets.
class MachineZone : public testing::Test {
protected:
  void SetUp() override {
    if (const char* tz = std::getenv("TZ")) {
      saved = tz;
    }
  }
  void TearDown() override {
    if (saved.empty()) {
      unsetenv("TZ");
    } else {
      setenv("TZ", saved.c_str(), 1);
    }
  }
  std::string saved;
};

TEST_F(MachineZone, ReadsTheOffsetOfTheZoneInForce) {
  setenv("TZ", "Asia/Kathmandu", 1);
  EXPECT_EQ(LocalUtcBias(), -345);
  EXPECT_EQ(DateTimeToXsd(1.0, true).substr(23), u"+05:45");
  setenv("TZ", "Etc/GMT-9", 1); // POSIX signs: nine hours east
  EXPECT_EQ(LocalUtcBias(), -540);
  setenv("TZ", "UTC", 1);
  EXPECT_EQ(LocalUtcBias(), 0);
  EXPECT_EQ(DateTimeToXsd(1.0, true).substr(23), u"Z");
  setenv("TZ", "America/St_Johns", 1); // -03:30 standard, -02:30 in summer
  const int bias = LocalUtcBias();
  EXPECT_TRUE(bias == 210 || bias == 150) << bias;
}

TEST_F(MachineZone, LocalTimeIsTheWallClockOfTheZone) {
  setenv("TZ", "Asia/Kathmandu", 1);
  const TSystemTime local = CurrentClock().GetLocalTime();
  setenv("TZ", "UTC", 1);
  const TSystemTime utc = CurrentClock().GetLocalTime();
  const double minutes = (EncodeDateTime(local) - EncodeDateTime(utc)) * 24 * 60;
  EXPECT_NEAR(minutes, 345, 0.1);
}

} // namespace
} // namespace opc::test

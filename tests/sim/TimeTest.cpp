#include "sim/Time.h"

#include <gtest/gtest.h>

namespace opc::sim {
namespace {

struct TimeCase {
  const char* text;
  long long epochSeconds; // UTC
  long long nanoseconds;
};

class SimZonedTimes : public testing::TestWithParam<TimeCase> {};

TEST_P(SimZonedTimes, AreReadToTheNanosecond) {
  const auto parsed = ParseXsdTime(GetParam().text);
  ASSERT_TRUE(parsed) << GetParam().text;
  const auto expected = TClock::time_point(std::chrono::seconds(GetParam().epochSeconds)) +
                        std::chrono::nanoseconds(GetParam().nanoseconds);
  EXPECT_EQ((*parsed - expected).count(), 0) << GetParam().text;
}

// 2024-05-01T14:03:18Z is 1714572198.
INSTANTIATE_TEST_SUITE_P(
    Cases, SimZonedTimes,
    testing::Values(TimeCase{"2024-05-01T14:03:18Z", 1714572198, 0},
                    TimeCase{"2024-05-01T14:03:18.123456+00:00", 1714572198, 123456000},
                    TimeCase{"2024-05-01T14:03:18.1234567Z", 1714572198, 123456700},
                    TimeCase{"2024-05-01T14:03:18.123456789999Z", 1714572198, 123456789},
                    TimeCase{"2024-05-01T14:03:18.5-00:00", 1714572198, 500000000},
                    TimeCase{"2024-05-01T16:03:18+02:00", 1714572198, 0},
                    TimeCase{"2024-05-01T09:33:18-04:30", 1714572198, 0},
                    TimeCase{"2024-05-02T04:03:18+14:00", 1714572198, 0},
                    TimeCase{"2024-04-30T24:00:00Z", 1714521600, 0},
                    TimeCase{"2024-02-29T00:00:00Z", 1709164800, 0},
                    TimeCase{"2000-02-29T00:00:00Z", 951782400, 0},
                    TimeCase{" 2024-05-01T14:03:18Z\n", 1714572198, 0}));

TEST(SimLocalTimes, WithoutAZoneAreTheLocalClock) {
  const char* texts[] = {"2024-05-01T14:03:18", "2024-01-15T03:00:00.250", "2026-12-11T23:59:59"};
  for (const char* text : texts) {
    const auto parsed = ParseXsdTime(text);
    ASSERT_TRUE(parsed) << text;
    // Written back in the local zone, the clock reading is the one given.
    EXPECT_EQ(XsdTime(*parsed).substr(0, 19), std::string(text).substr(0, 19)) << text;
  }
}

TEST(SimFarTimes, GiveTheClocksEnds) {
  EXPECT_EQ(ParseXsdTime("12345-01-01T00:00:00Z"), TClock::time_point::max());
  EXPECT_EQ(ParseXsdTime("2999-01-01T00:00:00"), TClock::time_point::max());
  EXPECT_EQ(ParseXsdTime("-0044-03-15T12:00:00Z"), TClock::time_point::min());
  EXPECT_EQ(ParseXsdTime("0999-01-01T00:00:00+01:00"), TClock::time_point::min());
}

class SimInvalidTimes : public testing::TestWithParam<const char*> {};

TEST_P(SimInvalidTimes, AreRefused) {
  EXPECT_FALSE(ParseXsdTime(GetParam())) << GetParam();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SimInvalidTimes,
    testing::Values("", "2026-02-30T00:00:00Z", "2023-02-29T00:00:00Z", "1900-02-29T00:00:00Z",
                    "2024-04-31T00:00:00", "2024-13-01T00:00:00Z", "2024-00-10T00:00:00Z",
                    "2024-05-00T00:00:00Z", "2024-05-01T14:03:18Zjunk",
                    "2024-05-01T14:03:18.123456+00:00 x", "2024-05-01T14:03:18.Z",
                    "2024-05-01T14:03:18,5Z", "2024-5-01T14:03:18Z", "2024-05-01 14:03:18Z",
                    "2024-05-01T14:03Z", "2024-05-01T24:00:01Z", "2024-05-01T14:60:00Z",
                    "2024-05-01T14:03:60Z", "2024-05-01T14:03:18+14:01",
                    "2024-05-01T14:03:18+15:00", "2024-05-01T14:03:18+02:60",
                    "2024-05-01T14:03:18+0200", "2024-05-01T14:03:18+02", "0000-01-01T00:00:00Z",
                    "02024-05-01T14:03:18Z", "924-05-01T14:03:18Z",
                    "2030-01-01333333333333333333T00:00:0", "2024-05-01", "T14:03:18Z"));

} // namespace
} // namespace opc::sim

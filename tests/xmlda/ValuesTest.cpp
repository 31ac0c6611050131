#include "xmlda/SimpleValues.h"
#include "xmlda/XsdDateTime.h"

#include <gtest/gtest.h>

namespace opc::xmlda {
namespace {

struct DateTimeCase {
  const char* text;
  bool valid;
  std::int64_t unixMicros; // with no zone, read as UTC
};

// What servers send: 0 to 7 fractional digits, Z, offsets, no zone; and what no server may send.
const DateTimeCase kDateTimes[] = {
    {"2024-05-01T14:03:07+02:00", true, 1714564987000000},
    {"2024-05-01T12:03:07Z", true, 1714564987000000},
    {"2024-05-01T12:03:07", true, 1714564987000000},
    {"2024-05-01T12:03:07.1Z", true, 1714564987100000},
    {"2024-05-01T12:03:07.123456Z", true, 1714564987123456},
    {"2024-05-01T12:03:07.1234567-00:30", true, 1714566787123456},
    {"2024-05-01T12:03:07.123456789Z", true, 1714564987123456},
    {" 2024-05-01T12:03:07Z\n", true, 1714564987000000},
    {"2024-02-29T00:00:00Z", true, 1709164800000000},
    {"2024-05-01T24:00:00Z", true, 1714608000000000},
    {"2023-02-29T00:00:00Z", false, 0},
    {"2024-05-01T24:00:01Z", false, 0},
    {"2024-05-01T12:03:07.Z", false, 0},
    {"2024-05-01T12:03:07Zjunk", false, 0},
    {"2024-05-01 12:03:07Z", false, 0},
    {"2024-5-01T12:03:07Z", false, 0},
    {"2024-05-01T12:03:07+15:00", false, 0},
    {"0000-01-01T00:00:00Z", false, 0},
    {"", false, 0},
};

class DateTimes : public testing::TestWithParam<DateTimeCase> {};

TEST_P(DateTimes, AreReadOrRefused) {
  const auto parsed = ParseXsdDateTime(GetParam().text);
  ASSERT_EQ(parsed.has_value(), GetParam().valid);
  if (parsed) {
    EXPECT_EQ(parsed->UnixMicros(), GetParam().unixMicros);
  }
}

INSTANTIATE_TEST_SUITE_P(Model, DateTimes, testing::ValuesIn(kDateTimes));

struct ScalarCase {
  TValueType type;
  const char* text;
  bool valid;
};

const ScalarCase kScalars[] = {
    {TValueType::Byte, "-128", true},
    {TValueType::Byte, "128", false},
    {TValueType::UnsignedByte, "255", true},
    {TValueType::UnsignedByte, "-1", false},
    {TValueType::UnsignedByte, "-0", true},
    {TValueType::Short, "+32767", true},
    {TValueType::Int, "2147483648", false},
    {TValueType::Long, "-9223372036854775808", true},
    {TValueType::Long, "9223372036854775808", false},
    {TValueType::UnsignedLong, "18446744073709551616", false},
    {TValueType::Int, "1.0", false},
    {TValueType::Int, "", false},
    {TValueType::Boolean, "1", true},
    {TValueType::Boolean, "True", false},
    {TValueType::Double, "-1.5e-3", true},
    {TValueType::Double, "NaN", true},
    {TValueType::Double, "inf", false},
    {TValueType::Double, "1e", false},
    {TValueType::Double, ".5", true},
    {TValueType::Float, "1e400", true},
    {TValueType::Decimal, "-0.50", true},
    {TValueType::Decimal, "1e3", false},
    {TValueType::Base64Binary, "QUJD", true},
    {TValueType::Base64Binary, "QUJ", false},
    {TValueType::Base64Binary, "Q=JD", false},
    {TValueType::Date, "2024-05-01", true},
    {TValueType::Date, "2024-05-01Z", true},
    {TValueType::Date, "2024-13-01", false},
    {TValueType::Time, "12:00:00.5+01:00", true},
    {TValueType::Time, "25:00:00", false},
    {TValueType::Duration, "P1Y2M3DT4H5M6.7S", true},
    {TValueType::Duration, "-PT5M", true},
    {TValueType::Duration, "P", false},
    {TValueType::Duration, "PT", false},
    {TValueType::Duration, "P1H", false},
    {TValueType::String, "  anything ", true},
};

class Scalars : public testing::TestWithParam<ScalarCase> {};

TEST_P(Scalars, AreCheckedAgainstTheirType) {
  TScalar scalar;
  scalar.text = GetParam().text;
  EXPECT_EQ(!ParseScalar(GetParam().type, scalar).has_value(), GetParam().valid) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Model, Scalars, testing::ValuesIn(kScalars));

TEST(Scalars, KeepTheirValues) {
  TScalar scalar;
  scalar.text = "-9223372036854775808";
  ASSERT_FALSE(ParseScalar(TValueType::Long, scalar));
  EXPECT_EQ(std::get<std::int64_t>(scalar.typed), INT64_MIN);
  scalar.text = " 18446744073709551615 ";
  ASSERT_FALSE(ParseScalar(TValueType::UnsignedLong, scalar));
  EXPECT_EQ(std::get<std::uint64_t>(scalar.typed), UINT64_MAX);
}

} // namespace
} // namespace opc::xmlda

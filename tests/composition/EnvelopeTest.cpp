#include "composition/Envelope.h"

#include "FixedClock.h"

#include <gtest/gtest.h>

namespace opc::test {
namespace {

const std::u16string kHead =
    u"<?xml version=\"1.0\" encoding=\"utf-8\"?>"
    u"<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\""
    u" xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\""
    u" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"><SOAP-ENV:Body>";
const std::u16string kTail = u"</SOAP-ENV:Body></SOAP-ENV:Envelope>";

struct BodyCase {
  const char* name;
  const char16_t* editor;
  const char16_t* body;
};

class ComposeEnvelope_ : public testing::TestWithParam<BodyCase> {};

// 1 May 2024 14:03:07.123, one hour east with daylight time in force, a clock that stands still.
TEST_P(ComposeEnvelope_, FillsThePlaceholdersAndWrapsTheBody) {
  FixedClock clock;
  ScopedClock installed(clock);
  EXPECT_EQ(ComposeEnvelope(GetParam().editor), kHead + GetParam().body + kTail);
  EXPECT_EQ(clock.readings, 4) << "one reading per placeholder, whether it occurs or not";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ComposeEnvelope_,
    testing::Values(
        BodyCase{"worked_example", u"<a>#now+1#|#now#|#now-1#|#now+1m#</a>",
                 u"<a>2024-05-01T14:03:08.123+02:00|2024-05-01T14:03:07.123+02:00|"
                 u"2024-05-01T14:03:06.123+02:00|2024-05-01T14:04:07.123+02:00</a>"},
        BodyCase{"empty", u"", u""},
        BodyCase{"no_placeholder", u"<GetStatus/>\r\n&<", u"<GetStatus/>\r\n&<"},
        BodyCase{"every_occurrence_alike", u"#now#,#now#",
                 u"2024-05-01T14:03:07.123+02:00,2024-05-01T14:03:07.123+02:00"},
        BodyCase{"written_otherwise", u"#NOW# #now +1# #now+2# #Now#",
                 u"#NOW# #now +1# #now+2# #Now#"},
        BodyCase{"shared_hash_now_now", u"#now#now#", u"2024-05-01T14:03:07.123+02:00now#"},
        BodyCase{"shared_hash_now_now_plus_1", u"#now#now+1#",
                 u"#now2024-05-01T14:03:08.123+02:00"},
        BodyCase{"minute_not_taken_by_second", u"#now+1m#", u"2024-05-01T14:04:07.123+02:00"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ComposeEnvelope, ABodyOfNothingButPlaceholdersIsFilledWhole) {
  FixedClock clock;
  ScopedClock installed(clock);
  std::u16string body;
  for (int i = 0; i < 1000; ++i) {
    body += u"#now#";
  }
  std::u16string expected;
  for (int i = 0; i < 1000; ++i) {
    expected += u"2024-05-01T14:03:07.123+02:00";
  }
  EXPECT_EQ(ComposeEnvelope(body), kHead + expected + kTail);
}

TEST(ComposeEnvelope, CarriesAcrossTheYear) {
  FixedClock clock;
  clock.now = {2024, 12, 31, 23, 59, 59, 500};
  clock.result = TIME_ZONE_ID_INVALID;
  ScopedClock installed(clock);
  EXPECT_EQ(ComposeEnvelope(u"#now+1#|#now+1m#|#now-1#"),
            kHead + u"2025-01-01T00:00:00.500Z|2025-01-01T00:00:59.500Z|2024-12-31T23:59:58.500Z" +
                kTail);
}

TEST(ComposeEnvelope, TakesFourReadingsInTableOrder) {
  FixedClock clock;
  clock.stepMs = 400; // the clock moves between the readings
  clock.result = TIME_ZONE_ID_INVALID;
  ScopedClock installed(clock);
  EXPECT_EQ(ComposeEnvelope(u"#now+1#|#now#|#now-1#|#now+1m#"),
            kHead +
                u"2024-05-01T14:03:08.123Z|2024-05-01T14:03:07.523Z|2024-05-01T14:03:06.923Z|"
                u"2024-05-01T14:04:08.323Z" +
                kTail);
}

TEST(ComposeSoapAction, AppendsTheOperationToTheNamespace) {
  EXPECT_EQ(ComposeSoapAction(u"SubscriptionPolledRefresh"),
            u"http://opcfoundation.org/webservices/XMLDA/1.0/SubscriptionPolledRefresh");
  EXPECT_EQ(ComposeSoapAction(u"GetStatus"),
            u"http://opcfoundation.org/webservices/XMLDA/1.0/GetStatus");
}

} // namespace
} // namespace opc::test

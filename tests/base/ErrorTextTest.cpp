#include "base/ErrorText.h"

#include "base/Error.h"

#include <gtest/gtest.h>
#include <new>

namespace opc {
namespace {

struct PeriodCase {
  const char16_t* text;
  const char16_t* shown;
};

class PeriodRule : public testing::TestWithParam<PeriodCase> {};

TEST_P(PeriodRule, AppendsAPeriodOnlyAfterCharactersAboveTheFullStop) {
  EXPECT_EQ(WithClosingPeriod(GetParam().text), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PeriodRule,
    testing::Values(PeriodCase{u"Failed", u"Failed."}, PeriodCase{u"Why?", u"Why?."},
                    PeriodCase{u"Done.", u"Done."}, PeriodCase{u"trailing ", u"trailing "},
                    PeriodCase{u"Stop!", u"Stop!"}, PeriodCase{u"say \"x\"", u"say \"x\""},
                    PeriodCase{u"it's'", u"it's'"}, PeriodCase{u"(a)", u"(a)"},
                    PeriodCase{u"a,", u"a,"}, PeriodCase{u"a-", u"a-"},
                    PeriodCase{u"code 7", u"code 7."}, PeriodCase{u"path/", u"path/."},
                    PeriodCase{u"\u00e9", u"\u00e9."}, PeriodCase{u"", u""}));

std::exception_ptr Nested(std::u16string outer, std::u16string inner) {
  try {
    try {
      throw Error(std::move(inner));
    } catch (...) {
      std::throw_with_nested(Error(std::move(outer)));
    }
  } catch (...) {
    return std::current_exception();
  }
}

TEST(ErrorDisplayText, TakesTheInnermostNonEmptyMessage) {
  EXPECT_EQ(ErrorDisplayText(Nested(u"outer", u"inner")), u"inner.");
  EXPECT_EQ(ErrorDisplayText(Nested(u"outer", u"")), u"outer.");
  EXPECT_EQ(ErrorDisplayText(std::make_exception_ptr(Error(u"plain"))), u"plain.");
  EXPECT_EQ(ErrorDisplayText(std::make_exception_ptr(std::runtime_error("std"))), u"std.");
}

TEST(ErrorDisplayText, NamesAnExhaustedMemoryInWords) {
  EXPECT_EQ(ErrorDisplayText(std::make_exception_ptr(std::bad_alloc())),
            u"Not enough memory resources are available to process this command.");
}

TEST(ErrorDisplayText, ShowsNothingForASilentAbort) {
  EXPECT_EQ(ErrorDisplayText(std::make_exception_ptr(SilentAbort())), std::nullopt);
}

} // namespace
} // namespace opc

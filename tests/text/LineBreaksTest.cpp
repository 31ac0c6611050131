#include "text/LineBreaks.h"

#include <gtest/gtest.h>

namespace opc {
namespace {

struct BreakCase {
  const char16_t* text;
  const char16_t* normalized;
  std::vector<std::u16string_view> lines;
};

class LineBreaks_ : public testing::TestWithParam<BreakCase> {};

TEST_P(LineBreaks_, NormalizeAndSplit) {
  const auto& c = GetParam();
  EXPECT_EQ(NormalizeLineBreaks(c.text), c.normalized);
  EXPECT_EQ(SplitLines(c.text), c.lines);
}

INSTANTIATE_TEST_SUITE_P(Cases, LineBreaks_,
                         testing::Values(BreakCase{u"", u"", {}}, BreakCase{u"a", u"a", {u"a"}},
                                         BreakCase{u"a\r\nb", u"a\r\nb", {u"a", u"b"}},
                                         BreakCase{u"a\nb\n", u"a\r\nb\r\n", {u"a", u"b"}},
                                         BreakCase{u"a\rb\r", u"a\r\nb\r\n", {u"a", u"b"}},
                                         BreakCase{u"a\n\rb", u"a\r\n\r\nb", {u"a", u"", u"b"}},
                                         BreakCase{u"\r\n", u"\r\n", {u""}},
                                         BreakCase{u"a\r\n\r\n", u"a\r\n\r\n", {u"a", u""}},
                                         BreakCase{u"x\r\r\ny\n\nz",
                                                   u"x\r\n\r\ny\r\n\r\nz",
                                                   {u"x", u"", u"y", u"", u"z"}}));

TEST(JoinLinesCrLf, EndsEveryLineWithCrLf) {
  EXPECT_EQ(JoinLinesCrLf({}), u"");
  EXPECT_EQ(JoinLinesCrLf({u"a", u"", u"b"}), u"a\r\n\r\nb\r\n");
  EXPECT_EQ(JoinLinesCrLf(SplitLines(u"a\nb")), u"a\r\nb\r\n");
}

} // namespace
} // namespace opc

#include "composition/ReplaceAll.h"

#include <gtest/gtest.h>
#include <random>

namespace opc {
namespace {

// The rule as it reads: find the leftmost occurrence from the first character, replace, repeat.
std::u16string ReplaceFromTheStartEachTime(std::u16string text, std::u16string_view token,
                                           std::u16string_view replacement) {
  if (token.empty()) {
    return text;
  }
  for (std::size_t at; (at = text.find(token)) != std::u16string::npos;) {
    text.replace(at, token.size(), replacement);
  }
  return text;
}

struct Case {
  const char16_t* text;
  const char16_t* token;
  const char16_t* replacement;
  const char16_t* result;
};

class ReplaceAll_ : public testing::TestWithParam<Case> {};

TEST_P(ReplaceAll_, ReplacesEveryOccurrence) {
  const auto& c = GetParam();
  EXPECT_EQ(ReplaceAll(c.text, c.token, c.replacement), c.result);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReplaceAll_,
    testing::Values(Case{u"", u"a", u"b", u""}, Case{u"abc", u"", u"x", u"abc"},
                    Case{u"abc", u"x", u"y", u"abc"}, Case{u"aXbXc", u"X", u"--", u"a--b--c"},
                    Case{u"Xx", u"x", u"y", u"Xy"},
                    // Occurrences formed by a replacement with what stands before it.
                    Case{u"aabb", u"ab", u"", u""}, Case{u"xaaby", u"ab", u"b", u"xby"},
                    // A replacement that holds its token is replaced once, not forever.
                    Case{u"a.a", u"a", u"aa", u"aa.aa"}));

TEST(ReplaceAll, AgreesWithSearchingFromTheStartEachTime) {
  std::mt19937 random(7);
  const std::u16string alphabet = u"ab#";
  const auto word = [&](int maxLength) {
    std::u16string w(random() % (maxLength + 1), u'a');
    for (auto& c : w) {
      c = alphabet[random() % alphabet.size()];
    }
    return w;
  };
  for (int i = 0; i < 20000; ++i) {
    const std::u16string text = word(14), token = word(3), replacement = word(3);
    if (!token.empty() && replacement.find(token) != std::u16string::npos) {
      continue;
    }
    ASSERT_EQ(ReplaceAll(text, token, replacement),
              ReplaceFromTheStartEachTime(text, token, replacement))
        << "text=" << std::string(text.begin(), text.end())
        << " token=" << std::string(token.begin(), token.end())
        << " replacement=" << std::string(replacement.begin(), replacement.end());
  }
}

} // namespace
} // namespace opc

namespace opc {
namespace {

TEST(ReplaceAll, AReplacementThatFormsItsTokenAgainForeverStops) {
  // "\xff}}" -> "}}\xff\xff" keeps making "\xff}}" from one replacement's end and the next one's
  // start; found by fuzzing. The rule would never end; the rewriting stops instead.
  const std::u16string text = u"\u00ff}}}}";
  const std::u16string result = ReplaceAll(text, u"\u00ff}}", u"}}\u00ff\u00ff");
  EXPECT_LT(result.size(), 8 * text.size() + 4096 + 64);
  EXPECT_EQ(ReplaceAll(u"aaaab", u"ab", u"bba"), u"bbbbbbbbbbbbbbbbaaaa") << "a chain that ends";
}

} // namespace
} // namespace opc

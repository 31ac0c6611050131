#include "base/Error.h"
#include "text/ByteOrderMark.h"
#include "text/CodePage.h"
#include "text/TextDecoding.h"
#include "text/TextMessages.h"
#include "text/Utf8.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace opc {
namespace {

std::vector<std::uint8_t> Bytes(std::string_view s) {
  return {s.begin(), s.end()};
}

struct DecodeCase {
  const char* name;
  std::string bytes;
  std::u16string text; // expected text; ignored when fails
  bool fails = false;
};

class DecodeText_ : public testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeText_, DecodesByMarkOrFailsWithTheNoMappingMessage) {
  const auto& c = GetParam();
  const auto bytes = Bytes(c.bytes);
  if (!c.fails) {
    EXPECT_EQ(DecodeText(bytes), c.text);
    return;
  }
  try {
    DecodeText(bytes);
    ADD_FAILURE() << "decoded without error";
  } catch (const Error& e) {
    EXPECT_EQ(e.message(), kNoMappingMessage);
  }
}

using namespace std::string_literals;

INSTANTIATE_TEST_SUITE_P(
    Cases, DecodeText_,
    testing::Values(DecodeCase{"empty", "", u""}, DecodeCase{"utf8_mark_only", "\xEF\xBB\xBF", u""},
                    DecodeCase{"utf8",
                               "\xEF\xBB\xBF"
                               "a\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80",
                               u"a\u00e4\u20ac\U0001F600"},
                    DecodeCase{"utf8_invalid_byte",
                               "\xEF\xBB\xBF"
                               "ab\xFF",
                               u"", true},
                    DecodeCase{"utf8_truncated",
                               "\xEF\xBB\xBF"
                               "ab\xE2\x82",
                               u"", true},
                    DecodeCase{"utf8_overlong", "\xEF\xBB\xBF\xC0\xAF", u"", true},
                    DecodeCase{"utf8_surrogate", "\xEF\xBB\xBF\xED\xA0\x80", u"", true},
                    DecodeCase{"utf8_above_10ffff", "\xEF\xBB\xBF\xF4\x90\x80\x80", u"", true},
                    DecodeCase{"utf8_without_mark_is_ansi", "\xC3\xA4", u"\u00c3\u00a4"},
                    DecodeCase{"utf16le",
                               "\xFF\xFE"
                               "a\0\xAC\x20"s,
                               u"a\u20ac"},
                    DecodeCase{"utf16be",
                               "\xFE\xFF"
                               "\0a\x20\xAC"s,
                               u"a\u20ac"},
                    DecodeCase{"utf16le_mark_only", "\xFF\xFE", u""},
                    DecodeCase{"utf16le_odd_last_byte_ignored",
                               "\xFF\xFE"
                               "a\0b"s,
                               u"a"},
                    DecodeCase{"utf16le_mark_and_one_byte",
                               "\xFF\xFE"
                               "a",
                               u"", true},
                    DecodeCase{"utf16be_mark_and_one_byte",
                               "\xFE\xFF"
                               "a",
                               u"", true},
                    DecodeCase{"ff_fe_00_00_is_utf16le", "\xFF\xFE\0\0"s, std::u16string(1, u'\0')},
                    DecodeCase{"utf16_without_mark_is_ansi", "a\0b\0"s, u"a\0b\0"s},
                    DecodeCase{"ansi_high_half", "\x80\x81\x9F\xA0\xFF",
                               u"\u20ac\u0081\u0178\u00a0\u00ff"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CodePage, EveryByteIsACharacterAndBackAgain) {
  std::string all;
  for (int b = 0; b < 256; ++b) {
    all += static_cast<char>(b);
  }
  const std::u16string text = DecodeAnsi(Bytes(all));
  ASSERT_EQ(text.size(), 256u);
  EXPECT_EQ(EncodeAnsi(text), all);
  EXPECT_EQ(EncodeAnsi(u"\u4e2d"), "?");
}

TEST(Utf8, EncodesAndChecks) {
  EXPECT_EQ(EncodeUtf8(u"a\u00e4\u20ac\U0001F600"), "a\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80");
  EXPECT_EQ(EncodeUtf8(u"\xD800x"), "\xEF\xBF\xBDx") << "a lone surrogate is written as U+FFFD";
  EXPECT_TRUE(IsValidUtf8(Bytes("plain \xC3\xA4")));
  EXPECT_FALSE(IsValidUtf8(Bytes("\xC3")));
}

TEST(ByteOrderMark, TellsTheMarkLength) {
  EXPECT_EQ(DetectByteOrderMark(Bytes("\xEF\xBB\xBFx")).length, 3u);
  EXPECT_EQ(DetectByteOrderMark(Bytes("\xEF\xBB")).encoding, TextEncoding::Ansi);
  EXPECT_EQ(DetectByteOrderMark(Bytes("\xFE\xFF")).encoding, TextEncoding::Utf16BE);
}

} // namespace
} // namespace opc

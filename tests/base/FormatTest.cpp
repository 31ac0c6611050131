#include "base/Format.h"

#include "base/Error.h"

#include <gtest/gtest.h>

namespace opc {
namespace {

TEST(Format, FillsDirectivesInOrder) {
  EXPECT_EQ(Format(u"%s (%d) - '%s'", {u"Not Found", std::int64_t{404}, u"http://h/x"}),
            u"Not Found (404) - 'http://h/x'");
  EXPECT_EQ(Format(u"%d%%", {std::int64_t{-7}}), u"-7%");
  EXPECT_EQ(Format(u"no directives", {}), u"no directives");
  EXPECT_EQ(Format(u"%s", {u""}), u"");
}

TEST(Format, KeepsNonAsciiTextAsItIs) {
  EXPECT_EQ(Format(u"Cannot open file \"%s\". %s", {u"/tmp/\u00e4\U0001F600.x", u"No such file"}),
            u"Cannot open file \"/tmp/\u00e4\U0001F600.x\". No such file");
}

TEST(Format, RaisesForMissingOrMismatchedArguments) {
  EXPECT_THROW(Format(u"%s %s", {u"one"}), Error);
  EXPECT_THROW(Format(u"%d", {u"text"}), Error);
  EXPECT_THROW(Format(u"%x", {u"text"}), Error);
  EXPECT_THROW(Format(u"trailing %", {}), Error);
}

} // namespace
} // namespace opc

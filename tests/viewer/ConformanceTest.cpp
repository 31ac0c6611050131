// The viewer's judge of well-formedness against the W3C conformance collection, and against
// the faults met in real replies.
#include "XmlConformanceSuite.h"
#include "viewer/Reply.h"
#include "viewer/WellFormed.h"

#include <cctype>
#include <gtest/gtest.h>

namespace opc {
namespace {

TEST(Conformance, EveryApplicableCaseOfTheW3CCollectionIsJudgedRight) {
  const auto cases = test::ConformanceCases(OPCXMLDA_XMLCONF);
  if (cases.empty()) {
    GTEST_SKIP() << "the conformance collection is not at " << OPCXMLDA_XMLCONF;
  }
  std::string wrong;
  std::size_t wrongCount = 0;
  for (const test::TConformanceCase& c : cases) {
    const std::string bytes = test::ReadWhole(c.file);
    const auto error = CheckWellFormed(bytes);
    if (error.has_value() == c.wellFormed) {
      ++wrongCount;
      wrong +=
          c.id + (c.wellFormed ? " rejected: " + error->reason : std::string(" accepted")) + "\n";
    }
  }
  EXPECT_EQ(cases.size(), 974u);
  EXPECT_EQ(wrongCount, 0u) << wrong;
}

// Faults met in real replies; each must be found, at the place it is.
struct TFaultCase {
  const char* name;
  std::string bytes;
  std::size_t line;
  std::size_t column;
};

const TFaultCase kFaults[] = {
    {"two root elements", "<a/>\n<b/>", 2, 1},
    {"text before the declaration", "junk<?xml version=\"1.0\"?><a/>", 1, 5},
    {"HTTP header lines before the declaration",
     "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\n\r\n<?xml version=\"1.0\"?><a/>", 1, 5},
    {"text after the root", "<a/>\ntrailing", 2, 1},
    {"a duplicate attribute", "<a x=\"1\" x=\"2\"/>", 1, 10},
    {"< inside an attribute", "<a x=\"<\"/>", 1, 7},
    {"an undefined entity", "<a>&nbsp;</a>", 1, 4},
    {"an undeclared prefix", "<a><p:b/></a>", 1, 4},
    {"an undeclared attribute prefix", "<a p:x=\"1\"/>", 1, 1},
    {"xmlns:p=\"\"", "<a xmlns:p=\"\"/>", 1, 1},
    {"the xmlns prefix declared", "<a xmlns:xmlns=\"urn:x\"/>", 1, 1},
    {"the xml prefix bound elsewhere", "<a xmlns:xml=\"urn:x\"/>", 1, 1},
    {"the same expanded attribute twice",
     "<a xmlns:p=\"urn:x\" xmlns:q=\"urn:x\" p:v=\"1\" q:v=\"2\"/>", 1, 1},
    {"a name with two colons", "<a xmlns:p=\"urn:x\"><p:b:c/></a>", 1, 24},
    {"a control character", "<a>\x01</a>", 1, 4},
    {"invalid UTF-8", "<a>\xC3\x28</a>", 1, 4},
    {"the declaration after whitespace", "\n<?xml version=\"1.0\"?><a/>", 2, 1},
    {"UTF-16 without a mark", std::string("<\0a\0/\0>\0", 8), 1, 1},
    {"a truncated reply", "<a><b>text</b>", 1, 15},
    {"an empty reply", "", 1, 1},
};

class FaultTest : public testing::TestWithParam<TFaultCase> {};

TEST_P(FaultTest, IsFoundWhereItIs) {
  const TFaultCase& c = GetParam();
  const auto error = CheckWellFormed(c.bytes);
  ASSERT_TRUE(error.has_value()) << c.name;
  EXPECT_FALSE(error->reason.empty());
  EXPECT_EQ(error->line, c.line) << c.name << ": " << error->reason;
  EXPECT_EQ(error->column, c.column) << c.name << ": " << error->reason;
  // Shown raw with the same verdict: never as a repaired tree.
  const TReply reply = PrepareReply("Response.xml", TReplyBytes(c.bytes));
  ASSERT_TRUE(reply.parseError.has_value());
  EXPECT_EQ(reply.parseError->line, c.line);
  EXPECT_FALSE(reply.Indented());
  EXPECT_FALSE(reply.fault.has_value());
}

INSTANTIATE_TEST_SUITE_P(Replies, FaultTest, testing::ValuesIn(kFaults),
                         [](const testing::TestParamInfo<TFaultCase>& info) {
                           std::string name;
                           for (const char* c = info.param.name; *c; ++c) {
                             name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
                           }
                           return name;
                         });

TEST(Conformance, UnusualButWellFormedRepliesAreAccepted) {
  const std::string cases[] = {
      "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?><a/>",
      std::string("\xFF\xFE<\0a\0/\0>\0", 10),
      std::string("\xFE\xFF\0<\0a\0/\0>", 10),
      "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>\xE9</a>",
      "<a xmlns:p=\"urn:x\" p:v=\"1\" v=\"2\"><p:b xml:lang=\"en\"/></a>",
      "<!DOCTYPE a [<!ENTITY e \"<b>x</b>\">]><a>&e;</a>",
  };
  for (const std::string& bytes : cases) {
    const auto error = CheckWellFormed(bytes);
    EXPECT_FALSE(error.has_value()) << bytes << ": " << error->reason;
  }
}

TEST(Conformance, ACancelledCheckStops) {
  std::atomic<bool> cancelled{true};
  EXPECT_THROW(CheckWellFormed("<a/>", &cancelled), TLoadCancelled);
}

} // namespace
} // namespace opc

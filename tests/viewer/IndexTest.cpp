// The indented view's lines, the fault banner's text and find, from a reply's own bytes.
#include "viewer/Reply.h"
#include "viewer/ReplySearch.h"

#include <gtest/gtest.h>

namespace opc {
namespace {

TReply Prepare(const std::string& bytes) {
  return PrepareReply("Response.xml", TReplyBytes(bytes));
}

std::string Text(const TReply& reply, std::size_t line) {
  const TIndentedLine& l = reply.lines[line];
  return std::string(reply.Bytes().substr(l.offset, l.length));
}

std::string Utf16Le(const std::string& ascii) {
  std::string out = "\xFF\xFE";
  for (char c : ascii) {
    out += c;
    out += '\0';
  }
  return out;
}

TEST(Index, LinesAreStretchesOfTheReplyItself) {
  const TReply reply = Prepare("<?xml version=\"1.0\"?>\n<!-- note -->\n<a><b x=\"1 &gt; 0\">"
                               "<c>te&amp;xt</c><c><![CDATA[<raw>]]></c>\n  two\n  lines\n"
                               "</b><d/></a>");
  ASSERT_FALSE(reply.parseError.has_value());
  const std::vector<std::string> expected = {"<?xml version=\"1.0\"?>",
                                             "<!-- note -->",
                                             "<a>",
                                             "<b x=\"1 &gt; 0\">",
                                             "<c>te&amp;xt</c>",
                                             "<c><![CDATA[<raw>]]></c>",
                                             "two",
                                             "lines",
                                             "</b>",
                                             "<d/>",
                                             "</a>"};
  ASSERT_EQ(reply.lines.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(Text(reply, i), expected[i]) << i;
  }
  EXPECT_EQ(reply.lines[2].foldEnd, 10u);
  EXPECT_EQ(reply.lines[3].foldEnd, 8u);
  EXPECT_EQ(reply.lines[6].depth, 2u);
  EXPECT_EQ(static_cast<TLineKind>(reply.lines[4].kind), TLineKind::Leaf);
  EXPECT_EQ(static_cast<TLineKind>(reply.lines[1].kind), TLineKind::Comment);
  const std::vector<std::uint64_t> starts = {0, 22, 36, 96, 102, 110};
  ASSERT_EQ(reply.rawLineCount, starts.size());
  for (std::size_t i = 0; i < starts.size(); ++i) {
    EXPECT_EQ(reply.RawLineStart(i), starts[i]);
    EXPECT_EQ(reply.RawLineOf(starts[i]), i);
    EXPECT_EQ(reply.RawLineOf(starts[i] + 1), i);
  }
}

// The envelope a run sent is shown from the request's own block: a large one is never copied.
TEST(Index, BytesTakenFromAStreamAreTheStreamsOwnBlock) {
  ByteStream stream;
  stream.Write("<a>\n</a>", 8);
  const std::uint8_t* block = stream.Bytes().data();
  const TReply reply = PrepareReply("envelope", TReplyBytes(std::move(stream)));
  EXPECT_EQ(static_cast<const void*>(reply.Bytes().data()), static_cast<const void*>(block));
  EXPECT_EQ(reply.Bytes(), "<a>\n</a>");
  EXPECT_EQ(reply.rawLineCount, 2u);
  EXPECT_EQ(stream.Size(), 0);
}

TEST(Index, RawLinesBeyondTheCheckpointsAreFoundAgain) {
  std::string bytes = "<r>\n";
  for (int i = 0; i < 100; ++i) {
    bytes += "<i>" + std::to_string(i) + "</i>\n";
  }
  bytes += "</r>";
  const TReply reply = Prepare(bytes);
  ASSERT_EQ(reply.rawLineCount, 102u);
  for (std::size_t line = 1; line < 101; ++line) {
    const std::uint64_t start = reply.RawLineStart(line);
    EXPECT_EQ(bytes.substr(start, 3), "<i>");
    EXPECT_EQ(bytes[start - 1], '\n');
    EXPECT_EQ(reply.RawLineOf(start + 3), line);
  }
}

TEST(Index, AUtf16ReplyHasTheSameLines) {
  const TReply reply = Prepare(Utf16Le("<a><b>x</b><c/></a>"));
  ASSERT_FALSE(reply.parseError.has_value()) << reply.parseError->reason;
  ASSERT_EQ(reply.lines.size(), 4u);
  EXPECT_EQ(reply.lines[1].offset, 2u + 2 * 3);
  EXPECT_EQ(reply.lines[1].length, 2u * 8);
  EXPECT_EQ(reply.lines[0].foldEnd, 3u);
}

TEST(Index, SoapFaultsOfBothVersionsAreFound) {
  const TReply v11 = Prepare(
      "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body><s:Fault>"
      "<faultcode>s:Server</faultcode><faultstring>a &lt; b</faultstring></s:Fault></s:Body>"
      "</s:Envelope>");
  ASSERT_TRUE(v11.fault.has_value());
  EXPECT_EQ(v11.fault->code, "s:Server");
  EXPECT_EQ(v11.fault->text, "a < b");
  const TReply v12 =
      Prepare("<e:Envelope xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\"><e:Body><e:Fault>"
              "<e:Code><e:Value>e:Receiver</e:Value></e:Code><e:Reason><e:Text xml:lang=\"en\">down"
              "</e:Text></e:Reason></e:Fault></e:Body></e:Envelope>");
  ASSERT_TRUE(v12.fault.has_value());
  EXPECT_EQ(v12.fault->code, "e:Receiver");
  EXPECT_EQ(v12.fault->text, "down");
  EXPECT_FALSE(Prepare("<Envelope><Body><Fine/></Body></Envelope>").fault.has_value());
}

TEST(Index, AReplyOfTooManySmallElementsIsShownRawWithAReason) {
  std::string bytes = "<r>";
  for (int i = 0; i < 3000000; ++i) {
    bytes += "<a/>";
  }
  bytes += "</r>";
  const TReply reply = Prepare(bytes);
  EXPECT_FALSE(reply.parseError.has_value());
  EXPECT_FALSE(reply.Indented());
  EXPECT_NE(reply.notice.find("memory"), std::string::npos);
}

struct TSearchCase {
  const char* name;
  std::string bytes;
  const char* needle;
  bool matchCase;
  std::vector<std::uint64_t> found;
};

TEST(Search, FindsInTheReplysOwnEncoding) {
  const TSearchCase cases[] = {
      {"ASCII either case", "<a>Tag tAG</a>", "tag", false, {3, 7}},
      {"matching case", "<a>Tag tAG</a>", "tAG", true, {7}},
      {"UTF-8", "<a>\xC3\xA4rger</a>", "\xC3\xA4r", false, {3}},
      {"UTF-16", Utf16Le("<a>Value</a>"), "value", false, {2 + 2 * 3}},
      {"UTF-16 on a unit boundary only", Utf16Le("<a>AA</a>"), "A", true, {8, 10}},
      {"nothing", "<a/>", "b", false, {}},
  };
  for (const TSearchCase& c : cases) {
    const TReply reply = Prepare(c.bytes);
    const TReplySearch search(reply, c.needle, c.matchCase);
    std::vector<std::uint64_t> found;
    for (auto at = search.Next(0); at; at = search.Next(*at + 1)) {
      found.push_back(*at);
    }
    EXPECT_EQ(found, c.found) << c.name;
    EXPECT_EQ(search.CountBefore(UINT64_MAX, 100), c.found.size()) << c.name;
    if (!c.found.empty()) {
      EXPECT_EQ(search.Previous(reply.Bytes().size()), c.found.back()) << c.name;
    }
  }
}

} // namespace
} // namespace opc

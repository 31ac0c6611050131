#include "ProcessStats.h"
#include "RawServer.h"
#include "viewer/Reply.h"
#include "viewer/TXmlLinesView.h"

#include <QApplication>
#include <QScrollBar>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace opc {
namespace {

class HostileReply : public testing::Test {
protected:
  std::string Write(const std::string& name, const std::string& content) {
    const auto path = FFolder / name;
    std::ofstream(path, std::ios::binary) << content;
    return path.string();
  }
  void TearDown() override { std::filesystem::remove_all(FFolder); }

  std::filesystem::path FFolder = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "opcxmlda-hostile-XXXXXX");
    return std::filesystem::path(::mkdtemp(pattern.data()));
  }();
};

TEST_F(HostileReply, AnEntityBombIsStoppedNotExpanded) {
  std::string bomb = "<?xml version=\"1.0\"?><!DOCTYPE lolz [<!ENTITY lol \"lol\">";
  for (int i = 1; i <= 9; ++i) {
    bomb += "<!ENTITY lol" + std::to_string(i) + " \"";
    for (int j = 0; j < 10; ++j) {
      bomb += "&lol" + (i == 1 ? std::string() : std::to_string(i - 1)) + ";";
    }
    bomb += "\">";
  }
  bomb += "]><lolz>&lol9;</lolz>";
  test::ResetPeak();
  const long before = test::PeakResidentKiB();
  const TReply reply = LoadReply(Write("bomb.xml", bomb));
  EXPECT_LT(test::PeakResidentKiB() - before, 16 * 1024);
  ASSERT_TRUE(reply.parseError.has_value()) << "a gigabyte of entity text is refused";
  EXPECT_NE(reply.parseError->reason.find("amplification"), std::string::npos)
      << reply.parseError->reason;
  EXPECT_FALSE(reply.Indented());
}

TEST_F(HostileReply, AnExternalEntityIsNeverFetched) {
  test::TRawServer server([](int) {});
  const std::string url = "http://127.0.0.1:" + std::to_string(server.port()) + "/evil.dtd";
  const TReply reply =
      LoadReply(Write("xxe.xml", "<?xml version=\"1.0\"?><!DOCTYPE r SYSTEM \"" + url +
                                     "\" [<!ENTITY x SYSTEM \"" + url + "\">]><r>&x;</r>"));
  EXPECT_EQ(server.connections(), 0);
  EXPECT_FALSE(reply.parseError.has_value());
}

TEST_F(HostileReply, DeepNestingNeitherCrashesNorRecurses) {
  std::string deep;
  for (int i = 0; i < 100000; ++i) {
    deep += "<a>";
  }
  deep += "x";
  for (int i = 0; i < 100000; ++i) {
    deep += "</a>";
  }
  const TReply reply = LoadReply(Write("deep.xml", deep));
  ASSERT_FALSE(reply.parseError.has_value());
  EXPECT_EQ(reply.lines.size(), 99999u * 2 + 1);
  EXPECT_EQ(reply.lines[99998].depth, 65535u) << "depth saturates, nothing overflows";
  EXPECT_EQ(reply.lines[100].foldEnd, reply.lines.size() - 101);
}

TEST_F(HostileReply, BrokenEncodingsAndTruncationGiveAReasonNotACrash) {
  const TReply cut = LoadReply(Write("cut.xml", "<a><b>text</b>"));
  ASSERT_TRUE(cut.parseError.has_value());
  EXPECT_EQ(cut.parseError->line, 1u);
  EXPECT_FALSE(cut.parseError->reason.empty());
  const TReply invalid = LoadReply(Write("invalid.xml", "\xEF\xBB\xBF<a>\xFF\xFE\xC0</a>"));
  EXPECT_EQ(invalid.Bytes().size(), 13u);
  EXPECT_TRUE(invalid.parseError.has_value());
  const TReply oddUtf16 = LoadReply(Write("odd16.xml", std::string("\xFF\xFE<\0a\0/\0>\0x", 11)));
  EXPECT_EQ(oddUtf16.Bytes().size(), 11u);
  EXPECT_TRUE(oddUtf16.parseError.has_value());
  const TReply missing = LoadReply("/nonexistent/opcxmlda/Response.xml");
  EXPECT_EQ(missing.readError, "No such file or directory");
  const TReply folder = LoadReply(FFolder.string());
  EXPECT_FALSE(folder.readError.empty());
}

// Every byte of a line of 64 MiB can be reached: wrapped into rows, or scrolled to sideways.
TEST_F(HostileReply, AVeryLongLineIsWrappedNotCut) {
  const std::string line(64 << 20, 'q');
  auto reply = std::make_shared<const TReply>(LoadReply(Write("long.xml", "<r>" + line + "</r>")));
  ASSERT_TRUE(reply->Indented());
  TXmlLinesView raw(TXmlLinesView::Mode::Raw);
  raw.resize(400, 300);
  raw.show();
  raw.SetReply(reply);
  EXPECT_TRUE(raw.Wraps());
  EXPECT_GT(raw.RowCount(), (64u << 20) / 400);
  EXPECT_EQ(raw.LineText(0).size(), static_cast<qsizetype>(line.size() + 7));
  raw.Select(reply->Bytes().size() - 4, reply->Bytes().size());
  EXPECT_EQ(raw.SelectedText(), QStringLiteral("</r>"));
  EXPECT_EQ(raw.verticalScrollBar()->value(), raw.verticalScrollBar()->maximum());
  raw.repaint(); // painting the last rows is quick and does not crash

  TXmlLinesView indented(TXmlLinesView::Mode::Indented);
  indented.resize(400, 300);
  indented.show();
  indented.SetReply(reply);
  EXPECT_FALSE(indented.Wraps());
  EXPECT_EQ(indented.RowCount(), 1u);
  EXPECT_GT(indented.horizontalScrollBar()->maximum(), (64 << 20) - 100);
  indented.Select(reply->Bytes().size() - 4, reply->Bytes().size());
  EXPECT_GT(indented.horizontalScrollBar()->value(), (64 << 20) - 100);
  indented.repaint();
  indented.SetWrap(true);
  EXPECT_GT(indented.RowCount(), (64u << 20) / 400);
}

// A reply of a gigabyte, indented, held in less than twice its size. Its figures are in bench/.
TEST_F(HostileReply, AGigabyteReplyIsIndentedInBoundedMemory) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's shadow memory and quarantine make the figure meaningless";
#endif
  const std::string path = (FFolder / "big.xml").string();
  {
    std::ofstream out(path, std::ios::binary);
    out << "<?xml version=\"1.0\"?>\r\n<r xmlns=\"urn:opcxmlda:test\">\r\n";
    // A mebibyte of items, written over and over: quick to make, the same to read.
    std::string block;
    for (unsigned i = 0; block.size() < (1u << 20); ++i) {
      block += "  <Items ItemName=\"Plant/Tag" + std::to_string(i) +
               "\" Timestamp=\"2024-05-01T14:03:07.123Z\">\r\n    <Value>" + std::to_string(i) +
               "</Value>\r\n    <Quality QualityField=\"good\" />\r\n  </Items>\r\n";
    }
    for (int i = 0; i < 1024; ++i) {
      out << block;
    }
    out << "</r>\r\n";
  }
  const auto size = static_cast<long>(std::filesystem::file_size(path) / 1024);
  test::ResetPeak();
  const long before = test::ResidentKiB();
  {
    const TReply reply = LoadReply(path);
    EXPECT_FALSE(reply.parseError.has_value());
    EXPECT_TRUE(reply.Indented()) << reply.notice;
    EXPECT_TRUE(reply.notice.empty());
  }
  const long peak = test::PeakResidentKiB() - before;
  RecordProperty("peakKiB", std::to_string(peak));
  EXPECT_LE(peak, 2 * size) << "peak " << peak << " KiB for a reply of " << size << " KiB";
}

} // namespace
} // namespace opc

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication application(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

#include "ProcessStats.h"
#include "RawServer.h"
#include "viewer/LoadedReply.h"
#include "viewer/TXmlLinesView.h"

#include <QApplication>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace opc {
namespace {

std::string Write(const std::string& name, const std::string& content) {
  const auto path = std::filesystem::temp_directory_path() / ("opcxmlda-hostile-" + name);
  std::ofstream(path, std::ios::binary) << content;
  return path.string();
}

TEST(HostileReply, AnEntityBombIsNotExpanded) {
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
  const TLoadedReply reply = LoadReply(Write("bomb.xml", bomb));
  EXPECT_LT(test::PeakResidentKiB() - before, 16 * 1024);
  EXPECT_FALSE(reply.parseError.has_value());
  EXPECT_NE(reply.pretty.find("&amp;lol9;"), std::string::npos) << "shown as written, not expanded";
}

TEST(HostileReply, AnExternalEntityIsNeverFetched) {
  test::TRawServer server([](int) {});
  const std::string url = "http://127.0.0.1:" + std::to_string(server.port()) + "/evil.dtd";
  const TLoadedReply reply =
      LoadReply(Write("xxe.xml", "<?xml version=\"1.0\"?><!DOCTYPE r SYSTEM \"" + url +
                                     "\" [<!ENTITY x SYSTEM \"" + url + "\">]><r>&x;</r>"));
  EXPECT_EQ(server.connections(), 0);
  EXPECT_FALSE(reply.parseError.has_value());
}

TEST(HostileReply, DeepNestingNeitherCrashesNorRecurses) {
  std::string deep;
  for (int i = 0; i < 10000; ++i) {
    deep += "<a>";
  }
  deep += "x";
  for (int i = 0; i < 10000; ++i) {
    deep += "</a>";
  }
  const TLoadedReply reply = LoadReply(Write("deep.xml", deep));
  ASSERT_FALSE(reply.parseError.has_value());
  EXPECT_EQ(reply.lines.size(), 9999u * 2 + 1);
  EXPECT_EQ(reply.lines[9998].depth, 9998);
}

TEST(HostileReply, BrokenEncodingsAndTruncationGiveAReasonNotACrash) {
  const TLoadedReply cut = LoadReply(Write("cut.xml", "<a><b>text</b>"));
  ASSERT_TRUE(cut.parseError.has_value());
  EXPECT_EQ(cut.parseError->line, 1u);
  EXPECT_FALSE(cut.parseError->reason.empty());
  const TLoadedReply invalid = LoadReply(Write("invalid.xml", "\xEF\xBB\xBF<a>\xFF\xFE\xC0</a>"));
  EXPECT_EQ(invalid.raw.size(), 13u);
  const TLoadedReply oddUtf16 =
      LoadReply(Write("odd16.xml", std::string("\xFF\xFE<\0a\0/\0>\0x", 11)));
  EXPECT_EQ(oddUtf16.raw.size(), 11u);
  const TLoadedReply missing = LoadReply("/nonexistent/opcxmlda/Response.xml");
  EXPECT_EQ(missing.readError, "No such file or directory");
}

TEST(HostileReply, AVeryLongLineIsShownCut) {
  const std::string line(64 << 20, 'q');
  const TLoadedReply loaded = LoadReply(Write("long.xml", "<r>" + line + "</r>"));
  ASSERT_FALSE(loaded.parseError.has_value());
  auto reply = std::make_shared<const TLoadedReply>(loaded);
  TXmlLinesView indented(TXmlLinesView::Mode::Indented);
  indented.SetReply(reply);
  TXmlLinesView raw(TXmlLinesView::Mode::Raw);
  raw.SetReply(reply);
  EXPECT_LE(indented.LineText(0).size(), 16385);
  EXPECT_TRUE(indented.LineText(0).endsWith(QChar(0x2026)));
  EXPECT_LE(raw.LineText(0).size(), 16385);
  indented.resize(400, 300);
  indented.show();
  indented.repaint(); // painting the cut line is quick and does not crash
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

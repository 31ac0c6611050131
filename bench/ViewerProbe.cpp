// One figure per process, so that no run inherits another's heap:
//   viewer_probe write FILE MIB one-line|indented   a realistic ReadResponse of about MIB MiB
//   viewer_probe view FILE                          F9's viewer part: Navigate to the first lines
//                                                   painted; peak memory over the file's size
//   viewer_probe parse FILE                         the baseline: read the file once and judge it
//                                                   with the fastest conformant parser (expat)
//   viewer_probe show FILE                          the viewer on FILE in a window, to look at
//   viewer_probe go URL FOLDER                      F9 on the window against URL: to Response.xml
//                                                   written, and to the first lines painted
#include "ReadResponseFile.h"
#include "app/ErrorDisplay.h"
#include "app/TForm1.h"
#include "base/ByteStream.h"
#include "roundtrip/ResponseFile.h"
#include "transport/MSHTTPPost.h"
#include "viewer/ReplyBytes.h"
#include "viewer/TWebBrowser.h"
#include "viewer/WellFormed.h"

#include <QApplication>
#include <QFile>
#include <QFileSystemWatcher>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

double Now() {
  return std::chrono::duration<double, std::milli>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

long StatusKiB(const char* field) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind(field, 0) == 0 && line[std::strlen(field)] == ':') {
      return std::stol(line.substr(std::strlen(field) + 1));
    }
  }
  return 0;
}

int View(const char* file) {
  opc::TWebBrowser viewer;
  viewer.resize(578, 219);
  viewer.show();
  QCoreApplication::processEvents();
  std::ofstream("/proc/self/clear_refs") << "5";
  const long before = StatusKiB("VmRSS");
  const double start = Now();
  QSignalSpy loaded(&viewer, &opc::TWebBrowser::Loaded);
  viewer.Navigate(QString::fromLocal8Bit(file));
  if (!loaded.wait(600000)) {
    return 1;
  }
  viewer.repaint();
  const double ms = Now() - start;
  const double size = static_cast<double>(std::filesystem::file_size(file));
  const double peak = (StatusKiB("VmHWM") - before) * 1024.0;
  std::printf("view  %8.0f ms  peak %6.2f x file  %s  %s\n", ms, peak / size,
              viewer.Reply() && viewer.Reply()->Indented() ? "indented" : "raw",
              viewer.BannerText().toUtf8().constData());
  return 0;
}

int Parse(const char* file) {
  const double start = Now();
  const opc::TReplyBytes bytes = opc::TReplyBytes::Read(file);
  const bool ok = !opc::CheckWellFormed(bytes.View());
  std::printf("parse %8.0f ms  %s\n", Now() - start, ok ? "well-formed" : "not well-formed");
  return 0;
}

int Go(const char* url, const char* folder) {
  {
    QFile file(QString::fromLocal8Bit(folder) + QStringLiteral("/GetStatus.x"));
    file.open(QIODevice::WriteOnly);
    file.write("<GetStatus xmlns=\"http://opcfoundation.org/webservices/XMLDA/1.0/\"/>\r\n");
  }
  opc::SetErrorPresenter([](const QString&, const QString& text) {
    std::fprintf(stderr, "error shown: %s\n", text.toUtf8().constData());
  });
  opc::TForm1 form(QString::fromLocal8Bit(folder) + u'/');
  form.show();
  form.eURL->setText(QString::fromLocal8Bit(url));
  if (!QTest::qWaitForWindowActive(&form)) { // F9 is a shortcut of the active window
    return 1;
  }
  QSignalSpy loaded(form.WebBrowser1, &opc::TWebBrowser::Loaded);
  std::ofstream("/proc/self/clear_refs") << "5"; // the peak from here on
  const long before = StatusKiB("VmRSS");
  const double start = Now();
  QTest::keyClick(form.eURL, Qt::Key_F9);
  // The Go command returns once Response.xml is written and the viewer is pointed at it.
  const double written = Now() - start;
  const long writtenPeak = StatusKiB("VmHWM") - before;
  if (form.WebBrowser1->IsLoading() && !loaded.wait(600000)) {
    return 1;
  }
  form.WebBrowser1->repaint();
  std::printf("go    %8.0f ms to Response.xml  %8.0f ms to the first lines  peak +%ld KiB at "
              "Response.xml\n",
              written, Now() - start, writtenPeak);
  return 0;
}

// The Go command's two parts before the viewer, timed apart: the post into memory and the
// response file written from it.
int Fetch(const char* url, const char* file) {
  const std::string u(url);
  const double start = Now();
  opc::ByteStream request(std::vector<std::uint8_t>{'b'}), response;
  opc::PostSoapRequest(std::u16string(u.begin(), u.end()), u"", u"", u"",
                       u"http://opcfoundation.org/webservices/XMLDA/1.0/GetStatus", request,
                       response);
  const double posted = Now();
  opc::WriteResponseFile(file, response.Bytes());
  const double written = Now();
  std::printf("fetch %8.0f ms post  %8.0f ms file  %8.0f ms in all  peak %ld KiB\n", posted - start,
              written - posted, written - start, StatusKiB("VmHWM"));
  return 0;
}

} // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  const std::string what = argc > 1 ? argv[1] : "";
  if (what == "write" && argc == 5) {
    opc::bench::WriteReadResponse(argv[2], std::stoul(argv[3]) << 20,
                                  std::string(argv[4]) == "indented");
    return 0;
  }
  if (what == "fetch" && argc == 4) {
    return Fetch(argv[2], argv[3]);
  }
  if (what == "parse" && argc == 3) {
    return Parse(argv[2]);
  }
  QApplication application(argc, argv);
  if (what == "view" && argc == 3) {
    return View(argv[2]);
  }
  if (what == "show" && argc == 3) {
    opc::TWebBrowser viewer;
    viewer.resize(800, 500);
    viewer.show();
    viewer.Navigate(QString::fromLocal8Bit(argv[2]));
    return QApplication::exec();
  }
  if (what == "go" && argc == 4) {
    return Go(argv[2], argv[3]);
  }
  std::fprintf(stderr, "usage: see the head of ViewerProbe.cpp\n");
  return 2;
}

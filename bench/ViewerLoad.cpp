// Time from Navigate to a usable view, and the memory it takes, for replies of a given size.
// usage: viewer_load <MiB>...   (offscreen unless a platform is set)
#include "viewer/TWebBrowser.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <cstdio>
#include <fstream>
#include <string>

namespace {

long PeakKiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) {
      return std::stol(line.substr(6));
    }
  }
  return 0;
}

long CurrentKiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) {
      return std::stol(line.substr(6));
    }
  }
  return 0;
}

// A Read reply of about the given size, items as a real server writes them.
void WriteReply(const std::string& path, std::size_t bytes) {
  std::ofstream out(path, std::ios::binary);
  out << "<?xml version=\"1.0\" encoding=\"utf-8\"?><soap:Envelope "
         "xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
         "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
         "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\">\r\n"
         "<soap:Body><ReadResponse "
         "xmlns=\"http://opcfoundation.org/webservices/XMLDA/1.0/\">\r\n<RItemList>\r\n";
  std::size_t written = 0;
  for (int i = 0; written < bytes; ++i) {
    const std::string item =
        "<Items ItemName=\"Paging/Item" + std::to_string(i % 1000) +
        "\" Timestamp=\"2024-05-01T14:03:07.123+02:00\"><Value xsi:type=\"xsd:int\">" +
        std::to_string(i) + "</Value></Items>\r\n";
    out << item;
    written += item.size();
  }
  out << "</RItemList></ReadResponse></soap:Body></soap:Envelope>\r\n";
}

} // namespace

int main(int argc, char* argv[]) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication application(argc, argv);
  QTemporaryDir folder;
  opc::TWebBrowser viewer;
  viewer.resize(578, 219);
  viewer.show();
  std::printf("%8s %12s %12s %14s\n", "MiB", "read ms", "usable ms", "peak - base MiB");
  for (int i = 1; i < argc; ++i) {
    const std::size_t mib = std::stoul(argv[i]);
    const std::string path = folder.path().toStdString() + "/reply" + std::to_string(mib) + ".xml";
    WriteReply(path, mib << 20);
    QElapsedTimer timer;
    timer.start();
    {
      std::ifstream in(path, std::ios::binary);
      std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    const double readMs = timer.nsecsElapsed() / 1e6;
    std::ofstream("/proc/self/clear_refs") << "5";
    const long base = CurrentKiB();
    QSignalSpy loaded(&viewer, &opc::TWebBrowser::Loaded);
    timer.restart();
    viewer.Navigate(QString::fromStdString(path));
    if (!loaded.wait(120000)) {
      std::fprintf(stderr, "no view for %zu MiB\n", mib);
      return 1;
    }
    viewer.repaint(); // the first screen is painted: the view is usable
    const double usableMs = timer.nsecsElapsed() / 1e6;
    std::printf("%8zu %12.1f %12.1f %14.1f\n", mib, readMs, usableMs, (PeakKiB() - base) / 1024.0);
  }
  return 0;
}

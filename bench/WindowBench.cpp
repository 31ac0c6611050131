// The window's figures beside their baselines: the whole Go command against the transport alone,
// the viewer against reading the file once, start-up against a bare window of the same size.
#include "BenchServer.h"
#include "ReadResponseFile.h"
#include "app/ErrorDisplay.h"
#include "app/TForm1.h"
#include "base/ByteStream.h"
#include "transport/MSHTTPPost.h"
#include "viewer/TWebBrowser.h"
#include "viewer/WellFormed.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <benchmark/benchmark.h>
#include <fstream>
#include <iterator>

namespace opc::bench {
namespace {

QTemporaryDir& Folder() {
  static QTemporaryDir folder;
  return folder;
}

QString FolderPath() {
  return Folder().path() + u'/';
}

void WriteTemplates() {
  QFile file(FolderPath() + QStringLiteral("GetStatus.x"));
  file.open(QIODevice::WriteOnly);
  file.write("<GetStatus xmlns=\"http://opcfoundation.org/webservices/XMLDA/1.0/\"/>\r\n");
}

std::string ReplyFile(std::size_t size) {
  const std::string path = FolderPath().toStdString() + "reply" + std::to_string(size) + ".xml";
  if (!QFile::exists(QString::fromStdString(path))) {
    WriteReadResponse(path, size, true);
  }
  return path;
}

void Wait(TWebBrowser& viewer, QSignalSpy& loaded) {
  if (viewer.IsLoading() && !loaded.wait(300000)) {
    throw std::runtime_error("the viewer did not load");
  }
  viewer.repaint(); // the first screen painted: usable
}

// A realistic ReadResponse of `size` bytes on one line, as servers answer, served from memory.
std::string ReadResponseUrl(std::size_t size) {
  const std::string name = "read" + std::to_string(size) + ".xml";
  const std::string path = FolderPath().toStdString() + name;
  if (!QFile::exists(QString::fromStdString(path))) {
    WriteReadResponse(path, size, false);
  }
  std::ifstream in(path, std::ios::binary);
  std::string body((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return TBenchServer::Instance().Serve(name, std::move(body));
}

void GoWindow(benchmark::State& state) {
  const std::size_t size = Size(static_cast<std::size_t>(state.range(0)));
  TForm1 form(FolderPath());
  form.show();
  form.eURL->setText(QString::fromStdString(ReadResponseUrl(size)));
  // F9 is a shortcut of the active window: before the window is active the key runs nothing.
  if (!QTest::qWaitForWindowActive(&form)) {
    state.SkipWithError("the window did not become active");
    return;
  }
  for (auto _ : state) {
    QSignalSpy loaded(form.WebBrowser1, &TWebBrowser::Loaded);
    QTest::keyClick(form.eURL, Qt::Key_F9);
    Wait(*form.WebBrowser1, loaded);
  }
  // A figure of a reply the viewer refused would time a parse error, not the Go command.
  if (!form.WebBrowser1->Reply()) {
    state.SkipWithError("F9 showed no reply");
  } else if (!form.WebBrowser1->BannerText().isEmpty()) {
    state.SkipWithError(
        ("the reply was not shown as read: " + form.WebBrowser1->BannerText().toStdString())
            .c_str());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

// The post the Go command makes, without the window: the reply in memory.
ByteStream PostOnce(const std::string& url) {
  ByteStream request(std::vector<std::uint8_t>{'b'}), response;
  PostSoapRequest(std::u16string(url.begin(), url.end()), u"", u"", u"",
                  u"http://opcfoundation.org/webservices/XMLDA/1.0/GetStatus", request, response);
  return response;
}

void GoTransport(benchmark::State& state) {
  const std::size_t size = Size(static_cast<std::size_t>(state.range(0)));
  const std::string url = ReadResponseUrl(size);
  for (auto _ : state) {
    const ByteStream response = PostOnce(url);
    benchmark::DoNotOptimize(response.Size());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

// The Go command's baseline: the download into memory and one judgement of it by the fastest
// conformant reader here, which is the least a viewer that shows only well-formed replies does.
void GoDownloadParse(benchmark::State& state) {
  const std::size_t size = Size(static_cast<std::size_t>(state.range(0)));
  const std::string url = ReadResponseUrl(size);
  for (auto _ : state) {
    const ByteStream response = PostOnce(url);
    const auto bytes = response.Bytes();
    if (CheckWellFormed({reinterpret_cast<const char*>(bytes.data()), bytes.size()})) {
      state.SkipWithError("the served reply is not well-formed");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

void ViewerNavigate(benchmark::State& state) {
  const std::size_t size = Size(static_cast<std::size_t>(state.range(0)));
  const QString path = QString::fromStdString(ReplyFile(size));
  TWebBrowser viewer;
  viewer.resize(578, 219);
  viewer.show();
  double peak = 0;
  for (auto _ : state) {
    ResetPeakMemory();
    const double base = CurrentMemoryBytes();
    QSignalSpy loaded(&viewer, &TWebBrowser::Loaded);
    viewer.Navigate(path);
    Wait(viewer, loaded);
    peak = std::max(peak, PeakMemoryBytes() - base);
  }
  state.counters["peak_per_file_byte"] = peak / static_cast<double>(size);
}

void ViewerRead(benchmark::State& state) {
  const std::size_t size = Size(static_cast<std::size_t>(state.range(0)));
  const std::string path = ReplyFile(size);
  for (auto _ : state) {
    std::ifstream in(path, std::ios::binary);
    std::string all(size + 4096, '\0');
    in.read(all.data(), static_cast<std::streamsize>(all.size()));
    benchmark::DoNotOptimize(in.gcount());
  }
}

void StartupWindow(benchmark::State& state) {
  for (auto _ : state) {
    TForm1 form(FolderPath());
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) {
      throw std::runtime_error("no window");
    }
  }
}

void StartupBare(benchmark::State& state) {
  for (auto _ : state) {
    QWidget window;
    window.resize(578, 501);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
      throw std::runtime_error("no window");
    }
  }
}

void Register() {
  AddBenchmark("go/window", GoWindow, 64);
  AddBenchmark("go/transport", GoTransport, 64);
  AddBenchmark("go/download_parse", GoDownloadParse, 64);
  for (long mib : {1, 16, 128}) {
    AddBenchmark("viewer/navigate", ViewerNavigate, mib);
    AddBenchmark("viewer/read", ViewerRead, mib);
  }
  AddBenchmark("startup/window", StartupWindow);
  AddBenchmark("startup/bare", StartupBare);
}

} // namespace
} // namespace opc::bench

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  opc::bench::TakeSmokeFlag(argc, argv);
  QApplication application(argc, argv);
  opc::SetErrorPresenter([](const QString&, const QString& text) {
    std::fprintf(stderr, "error shown: %s\n", text.toUtf8().constData());
  });
  opc::bench::WriteTemplates();
  opc::bench::Register();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

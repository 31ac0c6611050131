#include "AppTestHelpers.h"
#include "AppTests.h"
#include "RawServer.h"
#include "app/TMemo.h"
#include "transport/inet/InetHooks.h"
#include "viewer/TExchangeView.h"
#include "viewer/TWebBrowser.h"
#include "viewer/TXmlLinesView.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabBar>
#include <mutex>

namespace opc::test {

using namespace Qt::StringLiterals;

namespace {

// A server that answers every request with one reply and keeps the last request as it came.
struct WireServer {
  std::mutex mutex;
  std::string lastRequest;
  TRawServer raw{[this](int fd) {
    const std::string request = TRawServer::ReadRequest(fd);
    {
      std::lock_guard lock(mutex);
      lastRequest = request;
    }
    TRawServer::Send(fd, "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Length: 8\r\n"
                         "Connection: close\r\n\r\n<reply/>");
  }};
  std::string Head() {
    std::lock_guard lock(mutex);
    return lastRequest.substr(0, lastRequest.find("\r\n\r\n"));
  }
  std::string Body() {
    std::lock_guard lock(mutex);
    return lastRequest.substr(lastRequest.find("\r\n\r\n") + 4);
  }
};

struct ExchangeFixture {
  TemplateFolder folder;
  ErrorRecorder errors;
  WireServer server;
  TForm1 form{folder.Path()};

  ExchangeFixture() {
    form.show();
    form.eURL->setText(u"http://127.0.0.1:%1/da"_s.arg(server.raw.port()));
    form.Memo1->SetText(u"<GetStatus/>"_s);
  }
  TExchangeView* View() const { return form.WebBrowser1->ExchangeView(); }
  QString EnvelopeShown() const {
    const std::string_view bytes = View()->Envelope()->Bytes();
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
  }
  void Go() {
    QSignalSpy loaded(form.WebBrowser1, &TWebBrowser::Loaded);
    QTest::mouseClick(form.bGo, Qt::LeftButton);
    if (form.WebBrowser1->IsLoading()) {
      QVERIFY(loaded.wait(5000));
    }
  }
};

} // namespace

class ExchangeViewTest : public QObject {
  Q_OBJECT
private slots:
  void cleanup() { QCOMPARE(inet::OpenHandleCount(), 0u); }

  void showsTheHeadsAsSentAndTheEnvelopeOfARun() {
    ExchangeFixture f;
    QVERIFY(f.View()->Text().isEmpty());
    f.Go();
    QCOMPARE(f.errors.shown, QStringList());
    const QString text = f.View()->Text();
    // Every line of the head the server received, in order, as a sent line.
    QString sent;
    for (const QString& line : QString::fromStdString(f.server.Head()).split(u"\r\n"_s)) {
      sent += u"> "_s + line + u'\n';
    }
    QVERIFY2(text.contains(sent), qPrintable(text));
    QVERIFY(sent.contains(u"\n> SOAPAction: \""_s));
    QVERIFY(text.contains(u"\n< HTTP/1.1 200 OK\n< Content-Type: text/xml\n"_s));
    QVERIFY(text.contains(u"the reply body is 8 bytes"_s));
    QCOMPARE(f.EnvelopeShown(), QString::fromStdString(f.server.Body()));
    QVERIFY(f.EnvelopeShown().contains(u"<GetStatus/>"_s));
    QCOMPARE(f.View()->EnvelopeView()->LineCount(), std::size_t{1});
    // The run's reply opens where it did before; the exchange is one tab away.
    auto* tabs = f.form.WebBrowser1->findChild<QTabBar*>();
    QCOMPARE(tabs->tabText(3), u"Exchange"_s);
    QVERIFY(tabs->currentIndex() != 3);
    // Once the user looks at the exchange, the next run keeps it in sight.
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(3).center());
    QCOMPARE(tabs->currentIndex(), 3);
    f.form.Memo1->SetText(u"<GetStatus LocaleID=\"de\"/>"_s);
    f.Go();
    QCOMPARE(tabs->currentIndex(), 3);
    QVERIFY(f.EnvelopeShown().contains(u"LocaleID=\"de\""_s));
  }

  void aFailedRunShowsWhatWasSentAndTheError() {
    ExchangeFixture f;
    f.Go(); // a reply to keep
    const std::string_view before = f.form.WebBrowser1->Reply()->Bytes();
    QCOMPARE(QByteArray(before.data(), static_cast<qsizetype>(before.size())), "<reply/>\r\n"_ba);
    int port = 0;
    {
      TRawServer gone([](int) {});
      port = gone.port();
    }
    f.form.eURL->setText(u"http://127.0.0.1:%1/da"_s.arg(port));
    f.form.Memo1->SetText(u"<Read/>"_s);
    f.Go();
    QCOMPARE(f.errors.shown.size(), 1);
    const QString text = f.View()->Text();
    QVERIFY2(text.contains(u"The run failed: "_s + f.errors.shown[0]), qPrintable(text));
    QVERIFY(text.contains(u"still show the reply of an earlier run"_s));
    QVERIFY(text.contains(u"(nothing was sent)"_s));
    QVERIFY(f.EnvelopeShown().contains(u"<Read/>"_s));
    QVERIFY(f.form.WebBrowser1->Reply() != nullptr); // the earlier reply stays in its views
  }
};

static Register<ExchangeViewTest> registered;

} // namespace opc::test

#include "ExchangeViewTest.moc"

#include "AppTestHelpers.h"
#include "AppTests.h"
#include "LoopbackServer.h"
#include "app/CredentialsDialog.h"
#include "app/TMemo.h"
#include "transport/inet/InetHooks.h"
#include "viewer/TWebBrowser.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <mutex>

namespace opc::test {

using namespace Qt::StringLiterals;

namespace {

// A server in the test process that answers with what the test sets and keeps what it was sent.
struct ReplyServer {
  TLoopbackServer<> http;
  std::mutex mutex;
  int status = 200;
  std::string contentType = "text/xml; charset=utf-8";
  std::string body = "<reply/>";
  std::string lastBody;
  httplib::Headers lastHeaders;
  int requests = 0;

  ReplyServer() {
    http.server.Post("/opcxmlda/QuelmSim.Tandrel.Simulation",
                     [this](const httplib::Request& request, httplib::Response& response) {
                       std::lock_guard lock(mutex);
                       ++requests;
                       lastBody = request.body;
                       lastHeaders = request.headers;
                       response.status = status;
                       response.set_content(body, contentType.c_str());
                     });
    http.server.Post("/auth", [](const httplib::Request& request, httplib::Response& response) {
      if (request.get_header_value("Authorization") == "Basic dXNlcjpzZWNyZXQ=") {
        response.set_content("<welcome/>", "text/xml");
        return;
      }
      response.status = 401;
      response.set_header("WWW-Authenticate", "Basic realm=\"sim\"");
      response.set_content("<no/>", "text/xml");
    });
    http.Start();
  }
  QString Url(const char* path = "/opcxmlda/QuelmSim.Tandrel.Simulation") const {
    return u"http://127.0.0.1:"_s + QString::number(http.port) + QString::fromLatin1(path);
  }
};

QByteArray ReadFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// One window against the reply server, its templates and response file in a folder of its own.
struct GoFixture {
  TemplateFolder folder;
  ErrorRecorder errors;
  ReplyServer server;
  TForm1 form{folder.Path()};

  GoFixture() {
    form.show();
    form.activateWindow();
    [&] { QVERIFY(QTest::qWaitForWindowActive(&form)); }();
    form.eURL->setText(server.Url());
  }
  QString ResponsePath() const { return folder.Path() + u"Response.xml"_s; }
  // Runs the command as the button does and waits for the viewer when it was pointed at the file.
  void Go() {
    QSignalSpy loaded(form.WebBrowser1, &TWebBrowser::Loaded);
    QTest::mouseClick(form.bGo, Qt::LeftButton);
    if (form.WebBrowser1->IsLoading()) {
      QVERIFY(loaded.wait(5000));
    }
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr); // the pointer is back
  }
};

} // namespace

class GoCommandTest : public QObject {
  Q_OBJECT
private slots:
  void cleanup() { QCOMPARE(inet::OpenHandleCount(), 0u); }

  void postsTheComposedEnvelopeAndShowsTheReply() {
    GoFixture f;
    const QString editor = u"<GetStatus xmlns=\"http://opcfoundation.org/webservices/XMLDA/1.0/\" "
                           u"LocaleID=\"#now#\">\u00e4</GetStatus>"_s;
    f.form.Memo1->SetText(editor);
    f.Go();
    QCOMPARE(f.errors.shown, QStringList());
    QCOMPARE(f.form.Memo1->Text(), editor); // the editor keeps its placeholders
    const auto header = [&](const char* name) {
      const auto found = f.server.lastHeaders.find(name);
      return found == f.server.lastHeaders.end() ? std::string("(none)") : found->second;
    };
    QCOMPARE(header("SOAPAction"),
             std::string("\"http://opcfoundation.org/webservices/XMLDA/1.0/GetStatus\""));
    QCOMPARE(header("Content-Type"), std::string("text/xml; charset=\"utf-8\""));
    QCOMPARE(header("User-Agent"), std::string("Quelm XML DA Miltane client (MS)"));
    const QByteArray sent = QByteArray::fromStdString(f.server.lastBody);
    QVERIFY(sent.startsWith("<?xml version=\"1.0\" encoding=\"utf-8\"?><SOAP-ENV:Envelope "));
    QVERIFY(sent.contains("\xC3\xA4</GetStatus></SOAP-ENV:Body></SOAP-ENV:Envelope>"));
    QVERIFY(
        QRegularExpression(
            u"LocaleID=\"\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}(Z|[+-]\\d\\d:\\d\\d)\""_s)
            .match(QString::fromUtf8(sent))
            .hasMatch());
    QCOMPARE(ReadFile(f.ResponsePath()), QByteArray("<reply/>\r\n"));
    const std::string_view shown = f.form.WebBrowser1->Reply()->Bytes();
    QCOMPARE(QByteArray(shown.data(), static_cast<qsizetype>(shown.size())),
             QByteArray("<reply/>\r\n"));
  }

  void responseFile_data() {
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("file");
    QTest::addRow("abc") << "abc"_ba
                         << "abc\r\n"_ba;
    QTest::addRow("lf lines") << "a\nb\n"_ba
                              << "a\r\nb\r\n"_ba;
    QTest::addRow("cr cr lf") << "a\r\r\nb"_ba
                              << "a\r\n\r\nb\r\n"_ba;
    QTest::addRow("lf cr") << "a\n\rb"_ba
                           << "a\r\n\r\nb\r\n"_ba;
    QTest::addRow("empty") << QByteArray() << QByteArray();
    QTest::addRow("nul kept") << QByteArray("a\0b", 3) << QByteArray("a\0b\r\n", 5);
    QTest::addRow("utf8 mark") << "\xEF\xBB\xBF<a>\xC3\xA4</a>\n"_ba
                               << "\xEF\xBB\xBF<a>\xC3\xA4</a>\r\n"_ba;
    QTest::addRow("mark only") << "\xEF\xBB\xBF"_ba
                               << "\xEF\xBB\xBF"_ba;
    QTest::addRow("utf16le mark") << QByteArray("\xFF\xFE"
                                                "a\0\n\0b\0",
                                                8)
                                  << QByteArray("\xFF\xFE"
                                                "a\0\r\0\n\0b\0\r\0\n\0",
                                                14);
    QTest::addRow("utf16be odd byte dropped")
        << QByteArray("\xFE\xFF\0a\0", 5) << QByteArray("\xFE\xFF\0a\0\r\0\n", 8);
    QTest::addRow("no mark high bytes") << "\x80\xFF\x81"_ba
                                        << "\x80\xFF\x81\r\n"_ba;
  }
  void responseFile() {
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, file);
    GoFixture f;
    f.server.body = body.toStdString();
    f.Go();
    QCOMPARE(f.errors.shown, QStringList());
    QCOMPARE(ReadFile(f.ResponsePath()), file);
  }

  void failuresLeaveTheOldFileAndTheViewer_data() {
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("message");
    QTest::addRow("not found") << 404 << "text/xml"_ba
                               << "<x/>"_ba << u"Not Found (404) - '%u'"_s;
    QTest::addRow("html") << 200 << "text/html"_ba
                          << "<x/>"_ba
                          << u"invalid content type: text/html - SOAP required \"text/xml\""_s;
    QTest::addRow("invalid utf8 after mark") << 200 << "text/xml"_ba
                                             << "\xEF\xBB\xBF<a>\xFF</a>"_ba
                                             << u"No mapping for the Unicode character exists in "
                                                u"the target multi-byte code page."_s;
    QTest::addRow("utf16 mark and one byte") << 200 << "text/xml"_ba
                                             << "\xFF\xFEx"_ba
                                             << u"No mapping for the Unicode character exists in "
                                                u"the target multi-byte code page."_s;
  }
  void failuresLeaveTheOldFileAndTheViewer() {
    QFETCH(int, status);
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, body);
    QFETCH(QString, message);
    GoFixture f;
    f.Go(); // a first good run leaves a file and a page
    const QByteArray before = ReadFile(f.ResponsePath());
    const auto page = f.form.WebBrowser1->Reply();
    f.server.status = status;
    f.server.contentType = contentType.toStdString();
    f.server.body = body.toStdString();
    f.Go();
    QCOMPARE(f.errors.shown, QStringList{QString(message).replace(u"%u"_s, f.server.Url())});
    QCOMPARE(ReadFile(f.ResponsePath()), before);
    QCOMPARE(f.form.WebBrowser1->Reply(), page);
  }

  void aFaultWithStatus500IsSavedAndMarked() {
    GoFixture f;
    f.server.status = 500;
    f.server.body =
        "<?xml version=\"1.0\"?><soap:Envelope "
        "xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\">"
        "<soap:Body><soap:Fault><faultcode>soap:Client</faultcode>"
        "<faultstring>Unknown operation</faultstring></soap:Fault></soap:Body></soap:Envelope>";
    f.Go();
    QCOMPARE(f.errors.shown, QStringList());
    QVERIFY(ReadFile(f.ResponsePath()).contains("Unknown operation"));
    QCOMPARE(f.form.WebBrowser1->BannerText(),
             u"SOAP Fault: soap:Client \u2014 Unknown operation"_s);
  }

  void aTargetThatCannotBeWritten_data() {
    QTest::addColumn<bool>("folderInPlace");
    QTest::addColumn<QString>("message");
    QTest::addRow("folder in its place") << true << u"Cannot create file \"%p\". Is a directory."_s;
    QTest::addRow("full disk") << false << u"Stream write error: File too large."_s;
  }
  void aTargetThatCannotBeWritten() {
    QFETCH(bool, folderInPlace);
    QFETCH(QString, message);
    GoFixture f;
    if (folderInPlace) {
      QVERIFY(QDir().mkdir(f.ResponsePath()));
    }
    {
      const std::optional<FileSizeLimit> full =
          folderInPlace ? std::nullopt : std::optional<FileSizeLimit>(std::in_place, 4);
      f.Go();
    }
    QCOMPARE(f.errors.shown, QStringList{QString(message).replace(u"%p"_s, f.ResponsePath())});
    QCOMPARE(f.form.WebBrowser1->Reply(), nullptr);
  }

  void f9RunsTheCommandOncePerKeyFromEveryControl() {
    GoFixture f;
    QWidget* controls[] = {f.form.eURL, f.form.cXMLCommand, f.form.Memo1, f.form.bGo};
    const Qt::KeyboardModifiers modifiers[] = {Qt::NoModifier, Qt::ShiftModifier,
                                               Qt::ControlModifier, Qt::AltModifier};
    int expected = 0;
    for (QWidget* control : controls) {
      for (const auto modifier : modifiers) {
        control->setFocus();
        QSignalSpy loaded(f.form.WebBrowser1, &TWebBrowser::Loaded);
        QTest::keyClick(control, Qt::Key_F9, modifier);
        QVERIFY(loaded.wait(5000));
        ++expected;
        QCOMPARE(f.server.requests, expected);
      }
    }
    QTest::keyClick(f.form.eURL, Qt::Key_Return);
    QCOMPARE(f.server.requests, expected); // Enter is not Go
    QCOMPARE(f.errors.shown, QStringList());
  }

  void credentialsAskedForOrCancelled() {
    inet::InternetSetOptionW(nullptr, inet::INTERNET_OPTION_END_BROWSER_SESSION, nullptr, 0);
    GoFixture f;
    f.form.eURL->setText(f.server.Url("/auth"));
    int asked = 0;
    InstallCredentialsHook([&](int status) -> std::optional<TCredentials> {
      ++asked;
      if (status != 401) {
        return std::nullopt;
      }
      return TCredentials{u"user"_s, u"secret"_s};
    });
    f.Go();
    QCOMPARE(asked, 1);
    QCOMPARE(ReadFile(f.ResponsePath()), QByteArray("<welcome/>\r\n"));

    // The answer is kept for the server's next challenge until the session ends.
    inet::InternetSetOptionW(nullptr, inet::INTERNET_OPTION_END_BROWSER_SESSION, nullptr, 0);
    InstallCredentialsHook([](int) -> std::optional<TCredentials> { return std::nullopt; });
    QFile::remove(f.ResponsePath());
    f.Go();
    QCOMPARE(f.errors.shown, QStringList()); // a cancel shows nothing
    QCOMPARE(ReadFile(f.ResponsePath()), QByteArray("<missing>"));
    inet::SetErrorDialogHook({});
  }
};

static Register<GoCommandTest> registered;

} // namespace opc::test

#include "GoCommandTest.moc"

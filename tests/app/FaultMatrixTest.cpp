#include "AppTestHelpers.h"
#include "AppTests.h"
#include "LoopbackServer.h"
#include "ProcessStats.h"
#include "RawServer.h"
#include "TestCertificates.h"
#include "app/CredentialsDialog.h"
#include "app/TMemo.h"
#include "sim/Routes.h"
#include "transport/inet/InetHooks.h"
#include "viewer/TWebBrowser.h"

#include <QDir>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QThread>
#include <dirent.h>

namespace opc::test {

using namespace Qt::StringLiterals;

namespace {

QByteArray ReadFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
}

// The simulator in this process, plain and over TLS with a certificate nobody trusts.
struct Servers {
  sim::TService service;
  TLoopbackServer<> plain;
  QTemporaryDir pki;
  TTestAuthority authority{pki.path().toStdString()};
  TTestAuthority::Leaf leaf = authority.Issue("sim", "IP:127.0.0.1", -60, 86400);
  TLoopbackServer<httplib::SSLServer> tls{leaf.certificateFile.c_str(), leaf.keyFile.c_str()};
  int closedPort = 0;
  // cpp-httplib always names a content type; a reply without one comes from a raw socket.
  TRawServer untyped{[](int fd) {
    TRawServer::ReadRequest(fd);
    TRawServer::Send(fd,
                     "HTTP/1.1 200 OK\r\nContent-Length: 8\r\nConnection: close\r\n\r\n<reply/>");
  }};

  Servers() {
    sim::AddServiceRoutes(plain.server, service);
    sim::AddTestRoutes(plain.server);
    sim::AddServiceRoutes(tls.server, service);
    plain.Start();
    tls.Start();
    TRawServer closed([](int) {});
    closedPort = closed.port();
  } // nothing listens on closedPort any more
  QString Url(const QString& path) const {
    return u"http://127.0.0.1:"_s + QString::number(plain.port) + path;
  }
};

Servers& TheServers() {
  static Servers servers;
  return servers;
}

const QString kService = QString::fromLatin1(sim::kServicePath);

} // namespace

// Every way a round trip can go wrong, through the window: the message shown (none for a silent
// abort), the response file before and after, the pointer, the descriptors, and a good run after.
class FaultMatrixTest : public QObject {
  Q_OBJECT
private slots:
  void initTestCase() {
    inet::SetDefaultTimeouts(2000, 500,
                             500); // a server that never answers ends the run in half a second
    InstallCredentialsHook([](int) -> std::optional<TCredentials> { return std::nullopt; });
    TheServers();
  }
  void cleanupTestCase() {
    inet::SetDefaultTimeouts(60000, 30000, 30000);
    inet::SetErrorDialogHook({});
  }

  void fault_data() {
    QTest::addColumn<QString>("url");     // %s: the simulator, %t: TLS, %c: a closed port, %r: raw
    QTest::addColumn<QString>("target");  // "": a normal file; "folder" or "full"
    QTest::addColumn<QString>("message"); // as shown; %u: the URL; "" for nothing shown
    QTest::addColumn<bool>("written");    // the response file holds the new reply
    const QString action =
        u" - SOAPAction:http://opcfoundation.org/webservices/XMLDA/1.0/GetStatus."_s;
    QTest::addRow("redirect") << u"%s/test/status?code=301"_s << QString()
                              << u"Moved Permanently (301) - '%u'"_s << false;
    QTest::addRow("client error") << u"%s/test/status?code=404"_s << QString()
                                  << u"Not Found (404) - '%u'"_s << false;
    QTest::addRow("server error") << u"%s/test/status?code=503"_s << QString()
                                  << u"Service Unavailable (503) - '%u'"_s << false;
    QTest::addRow("fault with 500")
        << u"%s/test/status?code=500&body=%3Cfault%2F%3E"_s << QString() << QString() << true;
    QTest::addRow("text/plain")
        << u"%s/test/status?type=text/plain"_s << QString()
        << u"invalid content type: text/plain - SOAP required \"text/xml\""_s << false;
    QTest::addRow("text/html") << u"%s/test/status?type=text/html"_s << QString()
                               << u"invalid content type: text/html - SOAP required \"text/xml\""_s
                               << false;
    QTest::addRow("no content type") << u"%r/x"_s << QString() << QString() << true;
    QTest::addRow("cut after 10 bytes")
        << u"%s/test/close?after=10"_s << QString()
        << u"The connection with the server was terminated abnormally - URL:%u"_s + action << false;
    QTest::addRow("never answers") << u"%s/test/hang"_s << QString()
                                   << u"The operation timed out - URL:%u"_s + action << false;
    QTest::addRow("slow trickle") << u"%s/test/trickle?bytes=5&delay=50"_s << QString() << QString()
                                  << true;
    QTest::addRow("refused port")
        << u"%c/x"_s << QString()
        << u"A connection with the server could not be established - URL:%u"_s + action << false;
    QTest::addRow("unknown host")
        << u"http://no-such-host.invalid/x"_s << QString()
        << u"The server name or address could not be resolved - URL:%u"_s + action << false;
    QTest::addRow("tls unknown authority")
        << u"%t"_s + kService << QString()
        << u"The certificate authority is invalid or incorrect - URL:%u"_s + action << false;
    QTest::addRow("auth cancelled") << u"%s/test/auth/basic"_s << QString() << QString() << false;
    QTest::addRow("bad url") << u"ftp://127.0.0.1/x"_s << QString() << u"no or invalid url."_s
                             << false;
    QTest::addRow("folder in the file's place")
        << u"%s"_s + kService << u"folder"_s << u"Cannot create file \"%f\". Is a directory."_s
        << false;
    QTest::addRow("full disk") << u"%s"_s + kService << u"full"_s
                               << u"Stream write error: File too large."_s << false;
    QTest::addRow("link in the file's place")
        << u"%s"_s + kService << u"link"_s
        << u"Cannot create file \"%f\". It is a symbolic link; the file it points to is never "
           u"written."_s
        << false;
    QTest::addRow("template missing")
        << u"%s"_s + kService << u"template"_s
        << u"Cannot open file \"%d\". No such file or directory."_s << false;
  }
  void fault() {
    QFETCH(QString, url);
    QFETCH(QString, target);
    QFETCH(QString, message);
    QFETCH(bool, written);
    Servers& servers = TheServers();
    url.replace(u"%s"_s, servers.Url(QString()))
        .replace(u"%t"_s, u"https://127.0.0.1:"_s + QString::number(servers.tls.port))
        .replace(u"%c"_s, u"http://127.0.0.1:"_s + QString::number(servers.closedPort))
        .replace(u"%r"_s, u"http://127.0.0.1:"_s + QString::number(servers.untyped.port()));
    TemplateFolder folder;
    folder.Write(u"GetStatus"_s,
                 "<GetStatus xmlns=\"http://opcfoundation.org/webservices/XMLDA/1.0/\"/>");
    const QString response = folder.Path() + u"Response.xml"_s;
    const bool chooseMissing = target == u"template"_s; // not Go: choosing an operation fails
    if (chooseMissing) {
      folder.Remove(u"Browse"_s);
      target.clear();
    }
    if (target == u"folder"_s) {
      QVERIFY(QDir().mkdir(response));
    } else if (target == u"link"_s) {
      QVERIFY(QFile::link(u"/dev/full"_s, response));
    } else if (target == u"full"_s) {
    } else {
      QFile old(response);
      QVERIFY(old.open(QIODevice::WriteOnly));
      old.write("OLD");
    }
    ErrorRecorder errors;
    TForm1 form(folder.Path());
    form.show();
    const std::size_t descriptors = OpenDescriptors();

    form.eURL->setText(url);
    QSignalSpy loaded(form.WebBrowser1, &TWebBrowser::Loaded);
    if (chooseMissing) {
      Choose(form, 1);
      Choose(form, 0); // back to GetStatus for the good run below
    } else {
      const std::optional<FileSizeLimit> full =
          target == u"full"_s ? std::optional<FileSizeLimit>(std::in_place, 4) : std::nullopt;
      QTest::mouseClick(form.bGo, Qt::LeftButton);
    }
    if (form.WebBrowser1->IsLoading()) {
      QVERIFY(loaded.wait(5000));
    }
    const QString expected = QString(message)
                                 .replace(u"%u"_s, url)
                                 .replace(u"%f"_s, response)
                                 .replace(u"%d"_s, folder.Path() + u"Browse.x"_s);
    QCOMPARE(errors.shown, expected.isEmpty() ? QStringList() : QStringList{expected});
    QCOMPARE(form.WebBrowser1->IsLoading(), false);
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    if (target.isEmpty()) {
      const QByteArray after = ReadFile(response);
      QCOMPARE(after == "OLD", !written);
    }
    QCOMPARE(form.WebBrowser1->Reply() != nullptr, written);
    QCOMPARE(inet::OpenHandleCount(), 0u);
    // The server's side of a closed connection goes on its own thread; give it a moment.
    for (int i = 0; i < 100 && OpenDescriptors() > descriptors; ++i) {
      QThread::msleep(20);
    }
    QVERIFY(OpenDescriptors() <= descriptors); // a connection of an earlier run may close meanwhile

    // The window goes on working: the next run against the service succeeds.
    if (target.isEmpty()) {
      errors.shown.clear();
      form.eURL->setText(servers.Url(kService));
      QSignalSpy next(form.WebBrowser1, &TWebBrowser::Loaded);
      QTest::mouseClick(form.bGo, Qt::LeftButton);
      QVERIFY(next.count() > 0 || next.wait(5000));
      QCOMPARE(errors.shown, QStringList());
      QVERIFY(ReadFile(response).contains("GetStatusResponse"));
    }
  }
};

static Register<FaultMatrixTest> registered;

} // namespace opc::test

#include "FaultMatrixTest.moc"

#include "ApacheServer.h"
#include "AppTestHelpers.h"
#include "AppTests.h"
#include "KerberosRealm.h"
#include "LoopbackServer.h"
#include "SquidProxy.h"
#include "app/CredentialsDialog.h"
#include "transport/inet/InetHooks.h"
#include "viewer/TWebBrowser.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <cstdlib>
#include <memory>

namespace opc::test {

using namespace Qt::StringLiterals;

namespace {

// Answers the real credentials dialog as a user does, with the keyboard, one answer per time
// it comes up (an empty user name: Escape), and keeps what each one said.
class TDialogUser : public QObject {
public:
  struct Answer {
    QString user, password; // user empty: cancel
  };
  explicit TDialogUser(QList<Answer> answers) : FAnswers(std::move(answers)) {
    connect(&FTimer, &QTimer::timeout, this, &TDialogUser::Look);
    FTimer.start(20);
  }
  QStringList questions, refusals;

private:
  void Look() {
    QWidget* dialog = QApplication::activeModalWidget();
    // Each dialog once; the next may sit at the same address, so the dialog itself is marked.
    if (!dialog || dialog->objectName() != u"credentialsDialog"_s ||
        dialog->property("answered").toBool()) {
      return;
    }
    dialog->setProperty("answered", true);
    questions << dialog->findChild<QLabel*>(u"question"_s)->text();
    const auto* refusal = dialog->findChild<QLabel*>(u"refusal"_s);
    refusals << (refusal ? refusal->text() : QString());
    const Answer answer = FAnswers.value(questions.size() - 1);
    if (answer.user.isEmpty()) {
      QTest::keyClick(dialog, Qt::Key_Escape);
      return;
    }
    auto* user = dialog->findChild<QLineEdit*>(u"userName"_s);
    auto* password = dialog->findChild<QLineEdit*>(u"password"_s);
    user->setFocus();
    QTest::keyClicks(user, answer.user);
    QTest::keyClick(user, Qt::Key_Tab);
    QTest::keyClicks(password, answer.password);
    QTest::keyClick(password, Qt::Key_Return);
  }
  QList<Answer> FAnswers;
  QTimer FTimer;
};

void SetEnv(const char* name, const std::string& value) {
  value.empty() ? ::unsetenv(name) : ::setenv(name, value.c_str(), 1);
}

} // namespace

// The Go command against servers that ask who the user is, answered in the real dialog.
class CredentialsWindowTest : public QObject {
  Q_OBJECT
  std::unique_ptr<TSquidProxy> squid, ntlmSquid;
  std::unique_ptr<TKerberosRealm> realm;
  std::unique_ptr<TApacheServer> negotiate, ntlm;
  std::unique_ptr<TTempFolder> users;
  TLoopbackServer<> origin;

private slots:
  void initTestCase() {
    InstallCredentialsHook(); // the real dialog
    origin.server.set_keep_alive_max_count(1);
    origin.server.Post("/x", [](const httplib::Request&, httplib::Response& response) {
      response.set_content("<through-the-proxy/>", "text/xml");
    });
    origin.Start();
    squid = TSquidProxy::Start(TSquidProxy::Auth::Basic, "user", "secret", "plant");
    ntlmSquid = TSquidProxy::Start(TSquidProxy::Auth::Ntlm);
    realm = TKerberosRealm::Start();
    if (realm) {
      negotiate = TApacheServer::Start("<Location />\n  AuthType GSSAPI\n  AuthName \"plant\"\n"
                                       "  GssapiCredStore keytab:" +
                                           realm->Keytab() +
                                           "\n  GssapiAllowedMech krb5\n  GssapiBasicAuth On\n"
                                           "  Require valid-user\n</Location>\n",
                                       realm->Environment());
    }
    users = std::make_unique<TTempFolder>("opcxmlda-ntlm-users");
    WriteTextFile(*users / "users", "PLANT:alice:wonder\n");
    ntlm = TApacheServer::Start("<Location />\n  AuthType GSSAPI\n  AuthName \"plant\"\n"
                                "  GssapiAllowedMech ntlmssp\n  GssapiConnectionBound On\n"
                                "  Require valid-user\n</Location>\n",
                                {{"NTLM_USER_FILE", *users / "users"}});
  }
  void cleanupTestCase() {
    inet::SetErrorDialogHook({});
    SetEnv("http_proxy", "");
    SetEnv("KRB5_CONFIG", "");
    SetEnv("KRB5CCNAME", "");
  }

  // Each row starts with no answer kept from the rows before it.
  void init() {
    inet::InternetSetOptionW(nullptr, inet::INTERNET_OPTION_END_BROWSER_SESSION, nullptr, 0);
  }

  void dialog_data() {
    QTest::addColumn<QString>("server"); // proxy, ntlm proxy, negotiate or ntlm
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("wrong"); // a first, refused password; "" for none
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<QString>("question"); // %p: the port
    QTest::addColumn<QString>("refusal");
    QTest::addColumn<QByteArray>("reply");
    const QString proxyAsks =
        u"The proxy 127.0.0.1:%p asks for Basic credentials, realm \"plant\"."_s;
    const QString negotiateAsks =
        u"The server localhost:%p asks for Negotiate or Basic credentials, realm \"plant\"."_s;
    const QString ntlmAsks = u"The server localhost:%p asks for Negotiate or NTLM credentials."_s;
    const QString ntlmProxyAsks = u"The proxy 127.0.0.1:%p asks for NTLM credentials."_s;
    const QString proxyRefused =
        u"The proxy refused the user name and password: 407 Proxy Authentication Required"_s;
    const QString serverRefused =
        u"The server refused the user name and password: 401 Unauthorized"_s;
    const QByteArray proxied = "<through-the-proxy/>";
    const QByteArray kerberos = "<ok user=\"alice@PLANT.TEST\" type=\"Negotiate\" bytes=";
    const QByteArray windows = "type=\"NTLM\"";
    QTest::newRow("proxy answered") << u"proxy"_s << u"user"_s << u"secret"_s << QString() << false
                                    << proxyAsks << QString() << proxied;
    QTest::newRow("proxy cancelled") << u"proxy"_s << QString() << QString() << QString() << true
                                     << proxyAsks << QString() << QByteArray();
    QTest::newRow("proxy wrong") << u"proxy"_s << u"user"_s << u"secret"_s << u"nope"_s << false
                                 << proxyAsks << proxyRefused << proxied;
    QTest::newRow("ntlm proxy answered")
        << u"ntlm proxy"_s << u"PLANT\\alice"_s << u"wonder"_s << QString() << false
        << ntlmProxyAsks << QString() << proxied;
    QTest::newRow("ntlm proxy cancelled") << u"ntlm proxy"_s << QString() << QString() << QString()
                                          << true << ntlmProxyAsks << QString() << QByteArray();
    QTest::newRow("negotiate answered")
        << u"negotiate"_s << u"alice"_s << u"wonderland"_s << QString() << false << negotiateAsks
        << QString() << kerberos;
    QTest::newRow("negotiate cancelled") << u"negotiate"_s << QString() << QString() << QString()
                                         << true << negotiateAsks << QString() << QByteArray();
    QTest::newRow("negotiate wrong") << u"negotiate"_s << u"alice"_s << u"wonderland"_s << u"nope"_s
                                     << false << negotiateAsks << serverRefused << kerberos;
    QTest::newRow("ntlm answered") << u"ntlm"_s << u"PLANT\\alice"_s << u"wonder"_s << QString()
                                   << false << ntlmAsks << QString() << windows;
    QTest::newRow("ntlm cancelled") << u"ntlm"_s << QString() << QString() << QString() << true
                                    << ntlmAsks << QString() << QByteArray();
    QTest::newRow("ntlm wrong") << u"ntlm"_s << u"PLANT\\alice"_s << u"wonder"_s << u"nope"_s
                                << false << ntlmAsks << serverRefused << windows;
  }

  void dialog() {
    QFETCH(QString, server);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, wrong);
    QFETCH(bool, cancel);
    QFETCH(QString, question);
    QFETCH(QString, refusal);
    QFETCH(QByteArray, reply);

    QString url;
    int port = 0;
    // The window posts with the platform's proxy settings; here the environment names squid.
    SetEnv("http_proxy", "");
    SetEnv("no_proxy", "");
    SetEnv("NO_PROXY", "");
    if (server.endsWith(u"proxy"_s)) {
      const bool basic = server == u"proxy"_s;
      TSquidProxy* proxy = basic ? squid.get() : ntlmSquid.get();
      if (!proxy) {
        QSKIP(qPrintable(QString::fromStdString(
            TSquidProxy::Missing(basic ? TSquidProxy::Auth::Basic : TSquidProxy::Auth::Ntlm))));
      }
      SetEnv("http_proxy", "http://" + proxy->Address());
      url = u"http://127.0.0.1:"_s + QString::number(origin.port) + u"/x"_s;
      port = proxy->Port();
    } else {
      TApacheServer* apache = server == u"ntlm"_s ? ntlm.get() : negotiate.get();
      if (!apache || (server == u"negotiate"_s && !realm)) {
        QSKIP(qPrintable(
            QString::fromStdString(TKerberosRealm::Missing() + TApacheServer::Missing())));
      }
      if (realm) {
        SetEnv("KRB5_CONFIG", realm->Environment()["KRB5_CONFIG"]);
        SetEnv("KRB5CCNAME", "FILE:" + realm->Path("no-ticket.cache")); // no ticket: the dialog
      }
      url = QString::fromStdString(apache->Url("/opcxmlda"));
      port = apache->Port();
    }
    question.replace(u"%p"_s, QString::number(port));

    QList<TDialogUser::Answer> answers;
    if (!wrong.isEmpty()) {
      answers << TDialogUser::Answer{user, wrong};
    }
    answers << TDialogUser::Answer{cancel ? QString() : user, password};
    TDialogUser dialogUser(answers);

    TemplateFolder folder;
    ErrorRecorder errors;
    TForm1 form{folder.Path()};
    form.show();
    form.eURL->setText(url);
    QSignalSpy loaded(form.WebBrowser1, &TWebBrowser::Loaded);
    QTest::mouseClick(form.bGo, Qt::LeftButton);
    if (form.WebBrowser1->IsLoading()) {
      QVERIFY(loaded.wait(10000));
    }
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);

    const int expected = wrong.isEmpty() ? 1 : 2;
    QCOMPARE(dialogUser.questions.size(), expected);
    for (const QString& asked : dialogUser.questions) {
      QCOMPARE(asked, question);
    }
    QCOMPARE(dialogUser.refusals.first(), QString());
    QCOMPARE(dialogUser.refusals.last(), refusal);
    QCOMPARE(errors.shown, QStringList()); // a cancel is silent, an answer goes through
    QFile response(folder.Path() + u"Response.xml"_s);
    if (cancel) {
      QVERIFY(!response.exists());
    } else {
      QVERIFY(response.open(QIODevice::ReadOnly));
      const QByteArray body = response.readAll();
      QVERIFY2(body.contains(reply), body.constData());
    }
    QCOMPARE(inet::OpenHandleCount(), 0u);
  }
};

static Register<CredentialsWindowTest> registered;

} // namespace opc::test

#include "CredentialsWindowTest.moc"

#include "app/CredentialsDialog.h"

#include "AppTests.h"

namespace opc::test {

using namespace Qt::StringLiterals;

// What the credentials dialog tells the user about who asks and how.
class CredentialsDialogTest : public QObject {
  Q_OBJECT
private slots:
  void text_data() {
    QTest::addColumn<bool>("proxy");
    QTest::addColumn<QStringList>("schemes");
    QTest::addColumn<QString>("realm");
    QTest::addColumn<QString>("refusal");
    QTest::addColumn<QString>("question");
    QTest::addColumn<QString>("refused");
    QTest::newRow("proxy_basic")
        << true << QStringList{u"Basic"_s} << u"plant"_s << QString()
        << u"The proxy proxy.plant.example:3128 asks for Basic credentials, realm \"plant\"."_s
        << QString();
    QTest::newRow("server_two_schemes_no_realm")
        << false << QStringList{u"Negotiate"_s, u"NTLM"_s} << QString() << u"401 Unauthorized"_s
        << u"The server proxy.plant.example:3128 asks for Negotiate or NTLM credentials."_s
        << u"The server refused the user name and password: 401 Unauthorized"_s;
    QTest::newRow("no_scheme_named")
        << true << QStringList() << QString() << u"407 Proxy Authentication Required"_s
        << u"The proxy proxy.plant.example:3128 asks for its credentials."_s
        << u"The proxy refused the user name and password: 407 Proxy Authentication Required"_s;
  }
  void text() {
    QFETCH(bool, proxy);
    QFETCH(QStringList, schemes);
    QFETCH(QString, realm);
    QFETCH(QString, refusal);
    const TAuthQuestion question{proxy, u"proxy.plant.example:3128"_s, schemes, realm, refusal};
    QTEST(AuthQuestionText(question), "question");
    QTEST(AuthRefusalText(question), "refused");
  }
};

static Register<CredentialsDialogTest> registered;

} // namespace opc::test

#include "CredentialsDialogTest.moc"

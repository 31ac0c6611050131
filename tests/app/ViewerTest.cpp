#include "AppTests.h"
#include "viewer/TWebBrowser.h"
#include "viewer/TXmlLinesView.h"

#include <QFile>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace opc::test {

using namespace Qt::StringLiterals;

class ViewerTest : public QObject {
  Q_OBJECT

  QTemporaryDir folder;
  QString Write(const QByteArray& bytes) {
    const QString path = folder.path() + u"/Response.xml"_s;
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(bytes);
    return path;
  }
  static void Show(TWebBrowser& viewer, const QString& path) {
    QSignalSpy loaded(&viewer, &TWebBrowser::Loaded);
    viewer.Navigate(path);
    QVERIFY(viewer.IsLoading()); // Navigate returns before the file is read
    QVERIFY(loaded.wait(5000));
  }

private slots:
  void indentsFoldsAndFinds() {
    TWebBrowser viewer;
    viewer.resize(500, 300);
    viewer.show();
    Show(viewer, Write("<a><b x=\"1\"><c>text</c><c>other</c></b><d/></a>"));
    TXmlLinesView* view = viewer.IndentedView();
    QCOMPARE(view->LineCount(), 7u);
    QCOMPARE(view->LineText(0), u"<a>"_s);
    QCOMPARE(view->LineText(1), u"<b x=\"1\">"_s);
    QCOMPARE(view->LineText(2), u"<c>text</c>"_s);
    view->ToggleFold(1); // <b> and everything in it down to </b>
    QCOMPARE(view->LineCount(), 4u);
    QVERIFY(!view->IsShown(3));
    QTest::keyClick(&viewer, Qt::Key_F, Qt::ControlModifier);
    QVERIFY(viewer.FindBox()->isVisible());
    QTest::keyClicks(viewer.FindBox(), u"OTHER"_s);
    QTest::keyClick(viewer.FindBox(), Qt::Key_Return);
    QCOMPARE(view->CurrentMatchLine(), 3u);
    QVERIFY(view->IsShown(3)); // the fold that hid the match opened
    QVERIFY(viewer.BannerText().isEmpty());
    QVERIFY(!viewer.ShowsRaw());
  }

  void showsTheParseErrorAndTheRawText() {
    TWebBrowser viewer;
    Show(viewer, Write("<a>\r\n  <b></a>\r\n"));
    QVERIFY(viewer.ShowsRaw());
    QVERIFY(viewer.BannerText().startsWith(u"Not well-formed XML: line 2, column "_s));
    QCOMPARE(viewer.RawView()->LineText(1), u"  <b></a>"_s);
  }

  void marksASoapFault() {
    TWebBrowser viewer;
    Show(viewer, Write("<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body>"
                       "<s:Fault><faultcode>s:Server</faultcode><faultstring>broken</faultstring>"
                       "</s:Fault></s:Body></s:Envelope>"));
    QCOMPARE(viewer.BannerText(), u"SOAP Fault: s:Server \u2014 broken"_s);
  }

  void readsTheFileAfreshEachTime() {
    TWebBrowser viewer;
    const QString path = Write("<first/>");
    Show(viewer, path);
    QCOMPARE(viewer.IndentedView()->LineText(0), u"<first/>"_s);
    Write("<second/>");
    Show(viewer, path);
    QCOMPARE(viewer.IndentedView()->LineText(0), u"<second/>"_s);
    QVERIFY_THROWS_EXCEPTION(std::exception, viewer.Navigate(QString()));
  }
};

static Register<ViewerTest> registered;

} // namespace opc::test

#include "ViewerTest.moc"

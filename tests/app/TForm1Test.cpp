#include "app/TForm1.h"

#include "AppTestHelpers.h"
#include "AppTests.h"
#include "app/ErrorDisplay.h"
#include "app/TMemo.h"
#include "app/TSplitter.h"
#include "roundtrip/Operations.h"
#include "viewer/TWebBrowser.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

namespace opc::test {

using namespace Qt::StringLiterals;

class TForm1Test : public QObject {
  Q_OBJECT
private slots:
  void startUpShowsTheWindowWithGetStatusLoadedOnce() {
    TemplateFolder folder;
    ErrorRecorder errors;
    TForm1 form(folder.Path());
    QCOMPARE(form.cXMLCommand->currentIndex(), -1);
    QVERIFY(form.Memo1->Text().isEmpty());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(form.windowTitle(), u"OPC XML DA Miltane Sample"_s);
    QCOMPARE(form.cXMLCommand->currentText(), u"GetStatus"_s);
    QCOMPARE(form.Memo1->Text(), u"GetStatus\r\nbody"_s);
    QCOMPARE(errors.shown, QStringList());
    QCOMPARE(form.eURL->text(), u"http://localhost/opcxmlda/QuelmSim.Tandrel.Simulation"_s);

    // Showing the window again does not load the template again: the edit stays.
    form.Memo1->SetText(u"edited"_s);
    form.hide();
    form.show();
    QCOMPARE(form.Memo1->Text(), u"edited"_s);
  }

  void missingGetStatusIsReportedAndTheWindowStillComesUp() {
    TemplateFolder folder;
    folder.Remove(u"GetStatus"_s);
    ErrorRecorder errors;
    TForm1 form(folder.Path());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(errors.shown, QStringList{u"Cannot open file \""_s + folder.Path() +
                                       u"GetStatus.x\". No such file or directory."_s});
    QVERIFY(QDir::isAbsolutePath(folder.Path()));
    QCOMPARE(form.cXMLCommand->currentText(), u"GetStatus"_s);
    QVERIFY(form.Memo1->Text().isEmpty());
    Choose(form, 2);
    QCOMPARE(form.Memo1->Text(), u"Read\r\nbody"_s);
  }

  void choosingAnOperationReplacesEdits() {
    TemplateFolder folder;
    ErrorRecorder errors;
    TForm1 form(folder.Path());
    form.show();
    form.Memo1->SetText(u"my edits"_s);
    Choose(form, 7);
    QCOMPARE(form.Memo1->Text(), u"SubscriptionCancel\r\nbody"_s);
    Choose(form, 1);
    QCOMPARE(form.Memo1->Text(), u"Browse\r\nbody"_s);
    QCOMPARE(errors.shown, QStringList());
  }

  void aFailedLoadKeepsTheEditorAndTheNewSelection() {
    TemplateFolder folder;
    folder.Remove(u"Write"_s);
    folder.Write(u"Read"_s, "\xEF\xBB\xBFok\xFF");
    ErrorRecorder errors;
    TForm1 form(folder.Path());
    form.show();
    Choose(form, 1);
    form.Memo1->SetText(u"kept"_s);
    Choose(form, 2);
    Choose(form, 3);
    QCOMPARE(
        errors.shown,
        (QStringList{
            u"No mapping for the Unicode character exists in the target multi-byte code page."_s,
            u"Cannot open file \""_s + folder.Path() +
                u"Write.x\". No such file or directory."_s}));
    QCOMPARE(form.Memo1->Text(), u"kept"_s);
    QCOMPARE(form.cXMLCommand->currentText(), u"Write"_s);
  }

  void templateEncodingsAndLineBreaks_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::addRow("ansi") << "a\xE4\x80"_ba << u"a\u00e4\u20ac"_s;
    QTest::addRow("utf8 without mark") << "\xC3\xA4"_ba << u"\u00c3\u00a4"_s;
    QTest::addRow("utf8 mark") << "\xEF\xBB\xBF\xC3\xA4\n"_ba << u"\u00e4\r\n"_s;
    QTest::addRow("utf16le mark") << QByteArray("\xFF\xFE"
                                                "a\0\r\0\n\0b\0",
                                                10)
                                  << u"a\r\nb"_s;
    QTest::addRow("utf16be mark") << QByteArray("\xFE\xFF\0a\0\r\0b", 8) << u"a\r\nb"_s;
    QTest::addRow("utf16 without mark shows its first character")
        << QByteArray("a\0b\0", 4) << u"a"_s;
    QTest::addRow("lf cr and mixed") << "a\nb\rc\r\nd\n\re"_ba << u"a\r\nb\r\nc\r\nd\r\n\r\ne"_s;
    QTest::addRow("no-break space kept") << "a\xA0z"_ba << u"a\u00a0z"_s;
    QTest::addRow("empty") << QByteArray() << QString();
    QTest::addRow("mark only") << "\xFF\xFE"_ba << QString();
  }
  void templateEncodingsAndLineBreaks() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    TemplateFolder folder;
    folder.Write(u"Browse"_s, bytes);
    ErrorRecorder errors;
    TForm1 form(folder.Path());
    form.show();
    Choose(form, 1);
    QCOMPARE(errors.shown, QStringList());
    QCOMPARE(form.Memo1->Text(), text);
  }

  void startedElsewhereItFindsTheTemplatesBesideTheExecutable() {
    const QString saved = QDir::currentPath();
    QDir::setCurrent(QDir::tempPath());
    ErrorRecorder errors;
    TForm1 form; // the templates beside the test executable are the real ones
    form.show();
    QDir::setCurrent(saved);
    QCOMPARE(errors.shown, QStringList());
    QFile file(QCoreApplication::applicationDirPath() + u"/GetStatus.x"_s);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(form.Memo1->Text(), QString::fromLatin1(file.readAll()));
    QVERIFY(form.Memo1->Text().contains(u"<GetStatus"_s));
  }

  void layoutOfTheBars() {
    TemplateFolder folder;
    ErrorRecorder errors;
    TForm1 form(folder.Path());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(form.size(), QSize(578, 501));
    const auto geometryOf = [](QWidget* w) { return w->geometry(); };
    QCOMPARE(geometryOf(form.Panel1), QRect(0, 0, 578, 57));
    QCOMPARE(geometryOf(form.Memo1), QRect(0, 57, 578, 200));
    QCOMPARE(geometryOf(form.Splitter1), QRect(0, 257, 578, 8));
    QCOMPARE(geometryOf(form.Panel2), QRect(0, 265, 578, 17));
    QCOMPARE(geometryOf(form.WebBrowser1), QRect(0, 282, 578, 219));
    QCOMPARE(geometryOf(form.eURL), QRect(176, 4, 369, 24));
    QCOMPARE(geometryOf(form.bGo), QRect(488, 28, 57, 25));
    QCOMPARE(geometryOf(form.cXMLCommand), QRect(176, 28, 305, 24));
    QCOMPARE(form.bGo->text(), u"F9 = Go"_s);
    QCOMPARE(form.Label1->text(), u"OPC Server URL "_s);
    QCOMPARE(form.Label4->text(), u"OPC XML Command"_s);
    QCOMPARE(form.Label3->text(), u"OPC XML DA Output"_s);
    QCOMPARE(form.cXMLCommand->count(), 8);

    form.resize(700, 600);
    QTRY_COMPARE(geometryOf(form.WebBrowser1), QRect(0, 282, 700, 318));
    QCOMPARE(geometryOf(form.Memo1), QRect(0, 57, 700, 200));
    QCOMPARE(geometryOf(form.cXMLCommand), QRect(176, 28, 305, 24));
  }

  void tabOrder() {
    TemplateFolder folder;
    ErrorRecorder errors;
    TForm1 form(folder.Path());
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QCOMPARE(QApplication::focusWidget(), form.eURL);
    const QList<QWidget*> order{form.bGo, form.cXMLCommand, form.WebBrowser1, form.Memo1,
                                form.eURL};
    for (QWidget* expected : order) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      QCOMPARE(QApplication::focusWidget(), expected);
    }
  }

  void splitterHeight_data() {
    QTest::addColumn<int>("dragged");
    QTest::addColumn<int>("height");
    // Client height 501, the bars and the viewer's share take 112 px: at most 389.
    QTest::addRow("down a little") << 50 << 250;
    QTest::addRow("up a little") << -100 << 100;
    QTest::addRow("past the viewer's share") << 500 << 389;
    QTest::addRow("to 31 stays") << -169 << 31;
    QTest::addRow("to 30 collapses") << -170 << 0;
    QTest::addRow("far up collapses") << -400 << 0;
  }
  void splitterHeight() {
    QFETCH(int, dragged);
    QFETCH(int, height);
    QCOMPARE(TSplitter::NewHeight(200, dragged, 501, 112), height);
  }

  void draggingTheSplitterAndEscape() {
    TemplateFolder folder;
    ErrorRecorder errors;
    TForm1 form(folder.Path());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QWidget* bar = form.Splitter1;
    QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(10, 4));
    QTest::mouseMove(bar, QPoint(10, 64));
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(10, 64));
    QTRY_COMPARE(form.Memo1->height(), 260);

    QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(10, 4));
    QTest::keyClick(bar, Qt::Key_Escape);
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(10, -100));
    QCOMPARE(form.Memo1->height(), 260);
  }

  // Nothing makes the window larger than the user made it, and the user can make it as small
  // as they like.
  void theWindowNeverGrowsByItself() {
    TemplateFolder folder;
    ErrorRecorder errors;
    TForm1 form(folder.Path());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const QSize start = form.size();
    QCOMPARE(start, QSize(578, 501));
    for (int i = 0; i < 3; ++i) { // the splitter dragged to its maximum, again and again
      QWidget* bar = form.Splitter1;
      QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(10, 4));
      QTest::mouseMove(bar, QPoint(10, 600));
      QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(10, 600));
      QTest::qWait(20);
      QCOMPARE(form.Memo1->height(), 501 - 112);
      QCOMPARE(form.size(), start);
      QCOMPARE(form.WebBrowser1->height(), 30);
    }
    // A long path in the viewer's status does not widen anything.
    form.WebBrowser1->Navigate(folder.Path() + QString(3000, u'x'));
    QTest::qWait(50);
    QCOMPARE(form.size(), start);
    QVERIFY(form.WebBrowser1->width() <= start.width());
    // No minimum size.
    form.resize(120, 90);
    QTRY_COMPARE(form.size(), QSize(120, 90));
    QCOMPARE(form.minimumSize(), QSize(0, 0));
  }

  void theUrlHasNoLengthLimit() {
    TemplateFolder folder;
    ErrorRecorder errors;
    TForm1 form(folder.Path());
    const QString url = u"http://127.0.0.1/"_s + QString(100000, u'a');
    form.eURL->setText(url);
    QCOMPARE(form.eURL->text(), url);
  }
};

static Register<TForm1Test> registered;

} // namespace opc::test

#include "TForm1Test.moc"

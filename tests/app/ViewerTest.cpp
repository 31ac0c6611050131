#include "AppTests.h"
#include "viewer/TWebBrowser.h"
#include "viewer/TXmlLinesView.h"

#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <algorithm>

namespace opc::test {

using namespace Qt::StringLiterals;

namespace {

// Counts the keys that reach the viewer's parent: a key the viewer does not take arrives once.
class TKeyCounter : public QWidget {
public:
  int f9 = 0;

protected:
  void keyPressEvent(QKeyEvent* event) override { f9 += event->key() == Qt::Key_F9; }
};

} // namespace

class ViewerTest : public QObject {
  Q_OBJECT

  QTemporaryDir folder;
  QString Write(const QByteArray& bytes, const QString& name = u"Response.xml"_s) {
    const QString path = folder.path() + u'/' + name;
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
  static QString Clipboard() { return QGuiApplication::clipboard()->text(); }

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
    QCOMPARE(view->CurrentLine(), 3u);
    QVERIFY(view->IsShown(3));                  // the fold that hid the match opened
    QCOMPARE(view->SelectedText(), u"other"_s); // the match itself, as the reply has it
    QCOMPARE(viewer.FindStatus(), u"1 of 1"_s);
    QVERIFY(viewer.BannerText().isEmpty());
    QVERIFY(!viewer.ShowsRaw());
    view->CollapseAll();
    QCOMPARE(view->LineCount(), 1u);
    view->ExpandAll();
    QCOMPARE(view->LineCount(), 7u);
  }

  void findStepsBothWaysWithAndWithoutCase_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addRow("UTF-8") << QByteArray("<r>\n<v>Tag</v>\n<v>tag</v>\n<v>TAG</v>\n</r>");
    QByteArray utf16("\xFF\xFE", 2);
    for (char c : QByteArray("<r>\n<v>Tag</v>\n<v>tag</v>\n<v>TAG</v>\n</r>")) {
      utf16 += c;
      utf16 += '\0';
    }
    QTest::addRow("UTF-16") << utf16;
  }
  void findStepsBothWaysWithAndWithoutCase() {
    QFETCH(QByteArray, reply);
    TWebBrowser viewer;
    viewer.resize(500, 300);
    viewer.show();
    Show(viewer, Write(reply));
    TXmlLinesView* view = viewer.IndentedView();
    viewer.ShowFind();
    QTest::keyClicks(viewer.FindBox(), u"tag"_s);
    QTest::keyClick(viewer.FindBox(), Qt::Key_Return);
    QCOMPARE(viewer.FindStatus(), u"1 of 3"_s);
    QCOMPARE(view->CurrentLine(), 1u);
    QTest::keyClick(viewer.FindBox(), Qt::Key_F3);
    QCOMPARE(viewer.FindStatus(), u"2 of 3"_s);
    QCOMPARE(view->SelectedText(), u"tag"_s);
    QTest::keyClick(viewer.FindBox(), Qt::Key_F3, Qt::ShiftModifier);
    QCOMPARE(viewer.FindStatus(), u"1 of 3"_s);
    QCOMPARE(view->SelectedText(), u"Tag"_s);
    QTest::keyClick(viewer.FindBox(), Qt::Key_F3, Qt::ShiftModifier); // round to the last
    QCOMPARE(viewer.FindStatus(), u"3 of 3"_s);
    viewer.MatchCase()->setChecked(true);
    QVERIFY(viewer.FindNext());
    QCOMPARE(viewer.FindStatus(), u"1 of 1"_s);
    QCOMPARE(view->SelectedText(), u"tag"_s);
    // The raw view finds the same.
    viewer.findChild<QTabBar*>()->setCurrentIndex(1);
    QVERIFY(viewer.FindNext());
    QCOMPARE(viewer.RawView()->SelectedText(), u"tag"_s);
    QCOMPARE(viewer.RawView()->CurrentLine(), 2u);
    viewer.FindBox()->setFocus();
    QTest::keyClick(viewer.FindBox(), Qt::Key_Escape);
    QVERIFY(!viewer.FindBox()->isVisible());
  }

  void copiesTheRepliesOwnText() {
    TWebBrowser viewer;
    viewer.resize(600, 300);
    viewer.show();
    const QByteArray reply = "<r xmlns=\"urn:x\">\r\n  <Items ItemName=\"a&amp;b\">"
                             "<Value>1 &lt; 2</Value></Items>\r\n</r>\r\n";
    Show(viewer, Write(reply));
    TXmlLinesView* view = viewer.IndentedView();
    viewer.setFocus();
    QTest::keyClick(&viewer, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(&viewer, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(Clipboard(), QString::fromUtf8(reply)); // never re-escaped, line breaks kept
    // Element and value at a line, as the context menu copies them.
    QCOMPARE(view->LineText(1), u"<Items ItemName=\"a&amp;b\">"_s);
    QCOMPARE(view->ElementText(1),
             u"<Items ItemName=\"a&amp;b\"><Value>1 &lt; 2</Value></Items>"_s);
    QCOMPARE(view->ElementText(3), view->ElementText(1)); // from its end tag too
    const std::uint64_t inValue = static_cast<std::uint64_t>(reply.indexOf("a&amp;"));
    QCOMPARE(view->ValueText(1, inValue), u"a&amp;b"_s);
    QCOMPARE(view->ValueText(2, 0), u"1 &lt; 2"_s);
    // Folded, the element is copied whole all the same.
    view->ToggleFold(1);
    QCOMPARE(view->ElementText(1),
             u"<Items ItemName=\"a&amp;b\"><Value>1 &lt; 2</Value></Items>"_s);

    // A selection by mouse: press on the first character, drag to the fourth, copy.
    TXmlLinesView* raw = viewer.RawView();
    viewer.findChild<QTabBar*>()->setCurrentIndex(1);
    raw->Select(0, 0);
    const int y = raw->fontMetrics().height() / 2;
    const int gutter = [&] {
      for (int x = 0; x < 200; ++x) { // the first pixel that hits the text's first byte
        std::size_t line = 0;
        std::uint64_t at = 99;
        if (raw->HitTest(QPoint(x, y), line, at) && at == 1) {
          return x - raw->fontMetrics().horizontalAdvance(u'<') / 2 - 1;
        }
      }
      return -1;
    }();
    QVERIFY(gutter > 0);
    const int w = raw->fontMetrics().horizontalAdvance(u'm');
    QTest::mousePress(raw->viewport(), Qt::LeftButton, {}, QPoint(gutter + 1, y));
    QMouseEvent move(QEvent::MouseMove, QPointF(gutter + 4 * w + 1, y),
                     raw->viewport()->mapToGlobal(QPointF(gutter + 4 * w + 1, y)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(raw->viewport(), &move);
    QTest::mouseRelease(raw->viewport(), Qt::LeftButton, {}, QPoint(gutter + 4 * w + 1, y));
    QTest::keyClick(&viewer, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(Clipboard(), u"<r x"_s);
    // And by keyboard: Shift+End to the end of the line.
    QTest::keyClick(&viewer, Qt::Key_Home);
    QTest::keyClick(&viewer, Qt::Key_End, Qt::ShiftModifier);
    QTest::keyClick(&viewer, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(Clipboard(), u"<r xmlns=\"urn:x\">"_s);
  }

  void showsTheParseErrorAndTheRawTextAndGoesThere() {
    TWebBrowser viewer;
    viewer.resize(500, 300);
    viewer.show();
    Show(viewer, Write("<a>\r\n  <b></a>\r\n"));
    QVERIFY(viewer.ShowsRaw());
    QCOMPARE(viewer.BannerText(), u"Not well-formed XML: line 2, column 8: mismatched tag"_s);
    QCOMPARE(viewer.RawView()->LineText(1), u"  <b></a>"_s);
    QCOMPARE(viewer.IndentedView()->LineCount(), 0u); // no repaired tree
    viewer.RawView()->Select(0, 0);
    QLabel* banner = viewer.findChild<QLabel*>();
    QVERIFY(banner && banner->isVisible());
    emit banner->linkActivated(u"#error"_s);
    QCOMPARE(viewer.RawView()->CurrentLine(), 1u);
    QCOMPARE(viewer.RawView()->SelectedText(), u"a"_s); // line 2, column 8: the wrong name
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

  void aFailedLoadIsShownAndTheViewerGoesOn() {
    TWebBrowser viewer;
    viewer.SetLoader([](const std::string&, const std::atomic<bool>*) -> TReply {
      throw std::bad_alloc(); // as an allocation that fails while loading a huge reply
    });
    Show(viewer, Write("<a/>"));
    QCOMPARE(viewer.Reply(), nullptr);
    QCOMPARE(viewer.BannerText(),
             u"The reply could not be loaded: there is not enough memory to load the reply"_s);
    viewer.SetLoader([](const std::string& path, const std::atomic<bool>* cancelled) {
      return LoadReply(path, cancelled);
    });
    Show(viewer, Write("<a/>"));
    QVERIFY(viewer.BannerText().isEmpty());
    QCOMPARE(viewer.IndentedView()->LineText(0), u"<a/>"_s);
  }

  void aSupersededLoadIsCancelled() {
    TWebBrowser viewer;
    auto cancelledSeen = std::make_shared<std::atomic<bool>>(false);
    viewer.SetLoader(
        [cancelledSeen](const std::string& path, const std::atomic<bool>* cancelled) -> TReply {
          for (int i = 0; i < 500 && !cancelled->load(); ++i) {
            QThread::msleep(10);
          }
          if (cancelled->load()) {
            cancelledSeen->store(true);
            throw TLoadCancelled{};
          }
          return LoadReply(path, cancelled);
        });
    viewer.Navigate(Write("<old/>", u"old.xml"_s));
    viewer.SetLoader([](const std::string& path, const std::atomic<bool>* cancelled) {
      return LoadReply(path, cancelled);
    });
    Show(viewer, Write("<new/>"));
    QCOMPARE(viewer.IndentedView()->LineText(0), u"<new/>"_s);
    QTRY_VERIFY(cancelledSeen->load());
    QTest::qWait(50); // nothing from the old load arrives after the new one
    QCOMPARE(viewer.IndentedView()->LineText(0), u"<new/>"_s);
  }

  void aKeyTheViewDoesNotTakeArrivesOnce() {
    TKeyCounter parent;
    auto* viewer = new TWebBrowser(&parent);
    parent.resize(400, 300);
    viewer->resize(400, 300);
    parent.show();
    Show(*viewer, Write("<a/>"));
    viewer->setFocus();
    QTest::keyClick(viewer, Qt::Key_F9);
    QCOMPARE(parent.f9, 1);
    QTest::keyClick(viewer, Qt::Key_Down); // a key the view takes goes no further
    QCOMPARE(parent.f9, 1);
  }

  // At the window's first size a long path must not push the tabs out of sight: the path gives
  // way (its middle elided, the whole of it in the tool tip), every tab stays whole.
  void aLongPathLeavesEveryTabWhole() {
    TWebBrowser viewer;
    viewer.resize(578, 240);
    viewer.show();
    QDir(folder.path()).mkpath(u"a-rather-long-folder-name/and-another-one-below-it"_s);
    Show(viewer,
         Write("<a/>", u"a-rather-long-folder-name/and-another-one-below-it/Response.xml"_s));
    auto* tabs = viewer.findChild<QTabBar*>();
    QVERIFY(tabs);
    QCOMPARE(tabs->count(), 4);
    for (int i = 0; i < tabs->count(); ++i) {
      QVERIFY2(tabs->rect().contains(tabs->tabRect(i)), qPrintable(tabs->tabText(i)));
    }
    const auto labels = viewer.findChildren<QLabel*>();
    const auto status = std::find_if(labels.begin(), labels.end(), [](const QLabel* l) {
      return l->toolTip().endsWith(u"Response.xml \u2014 4 bytes"_s);
    });
    QVERIFY(status != labels.end());
    QVERIFY((*status)->text().contains(u"\u2026"_s));
    QVERIFY((*status)->toolTip().contains(u"and-another-one-below-it"_s));
  }
};

static Register<ViewerTest> registered;

} // namespace opc::test

#include "ViewerTest.moc"

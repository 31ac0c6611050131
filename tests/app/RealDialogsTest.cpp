// The window driven through its real message box and credentials dialog, closed by key events
// from a timer, against a loopback peer that counts the requests reaching it.
#include "AppTestHelpers.h"
#include "AppTests.h"
#include "LoopbackServer.h"
#include "app/CredentialsDialog.h"
#include "app/ErrorDisplay.h"
#include "app/TMemo.h"
#include "base/Error.h"
#include "roundtrip/Operations.h"
#include "roundtrip/ReplyLimit.h"
#include "transport/inet/InetHooks.h"
#include "viewer/TWebBrowser.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

// Sends the shortcut-override step of a key press, as the window system does before the press.
Q_GUI_EXPORT bool qt_sendShortcutOverrideEvent(QObject* o, ulong timestamp, int k,
                                               Qt::KeyboardModifiers mods, const QString& text,
                                               bool autorep, ushort count);

namespace opc::test {

using namespace Qt::StringLiterals;

namespace {

// The peer: a good reply, a missing page, a page behind Basic authentication, a reply that
// trickles one byte every 100 ms and a reply that never ends.
struct CountingPeer {
  TLoopbackServer<> http;
  std::atomic<int> requests{0};
  std::atomic<bool> stopping{false};

  CountingPeer() {
    auto& s = http.server;
    s.Post("/ok", [this](const httplib::Request&, httplib::Response& response) {
      ++requests;
      response.set_content("<ok/>", "text/xml");
    });
    s.Post("/missing", [this](const httplib::Request&, httplib::Response& response) {
      ++requests;
      response.status = 404;
      response.set_content("<no/>", "text/xml");
    });
    s.Post("/auth", [this](const httplib::Request& request, httplib::Response& response) {
      ++requests;
      if (request.get_header_value("Authorization") == "Basic dXNlcjpzZWNyZXQ=") {
        response.set_content("<welcome/>", "text/xml");
        return;
      }
      response.status = 401;
      response.set_header("WWW-Authenticate", "Basic realm=\"sim\"");
      response.set_content("<no/>", "text/xml");
    });
    s.Post("/trickle", [this](const httplib::Request&, httplib::Response& response) {
      ++requests;
      const auto start = std::chrono::steady_clock::now();
      response.set_chunked_content_provider(
          "text/xml", [this, start](std::size_t, httplib::DataSink& sink) {
            // Ends by itself after 20 s, so a window that cannot stop it fails instead of hanging.
            if (stopping || std::chrono::steady_clock::now() - start > std::chrono::seconds(20)) {
              sink.done();
              return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            return sink.write("x", 1);
          });
    });
    s.Post("/endless", [this](const httplib::Request&, httplib::Response& response) {
      ++requests;
      response.set_chunked_content_provider("text/xml",
                                            [this](std::size_t offset, httplib::DataSink& sink) {
                                              static const std::string chunk(64 * 1024, 'x');
                                              if (stopping || offset > (std::size_t{256} << 20)) {
                                                sink.done();
                                                return true;
                                              }
                                              return sink.write(chunk.data(), chunk.size());
                                            });
    });
    http.Start();
  }
  ~CountingPeer() { stopping = true; }
  QString Url(const char* path) const {
    return u"http://127.0.0.1:"_s + QString::number(http.port) + QString::fromLatin1(path);
  }
};

// Acts on every modal box or dialog as it opens, from a timer, as a user would.
struct ModalCloser {
  std::function<void(QWidget*)> action;
  QStringList boxTexts;
  QTimer timer;

  explicit ModalCloser(std::function<void(QWidget*)> act = {}) : action(std::move(act)) {
    QObject::connect(&timer, &QTimer::timeout, [this] {
      QWidget* modal = QApplication::activeModalWidget();
      if (!modal || !modal->isVisible()) {
        return;
      }
      if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        boxTexts << box->text();
        QTest::keyClick(box, Qt::Key_Return);
      } else if (action) {
        action(modal);
      } else {
        QTest::keyClick(modal, Qt::Key_Escape);
      }
    });
    timer.start(10);
  }
};

void AnswerCredentials(QWidget* dialog) {
  const auto edits = dialog->findChildren<QLineEdit*>();
  QCOMPARE(edits.size(), 2);
  QTest::keyClicks(edits[0], u"user"_s);
  QTest::keyClicks(edits[1], u"secret"_s);
  QTest::keyClick(dialog, Qt::Key_Return);
}

void CancelCredentials(QWidget* dialog) {
  QTest::keyClick(dialog, Qt::Key_Escape);
}

QByteArray ReadFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// One active window with the real error display and the real credentials dialog.
struct RealWindow {
  TemplateFolder folder;
  CountingPeer peer;
  TForm1 form{folder.Path()};

  RealWindow() {
    SetErrorPresenter({});
    InstallCredentialsHook();
    form.show();
    form.activateWindow();
    [&] { QVERIFY(QTest::qWaitForWindowActive(&form)); }();
  }
  ~RealWindow() { inet::SetErrorDialogHook({}); }
  QString ResponsePath() const { return folder.Path() + u"Response.xml"_s; }
  // A key reaches the window once it is active again after a box, as the user's next key does.
  void Press(QWidget* control, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTRY_VERIFY_WITH_TIMEOUT(form.isActiveWindow(), 5000);
    QTest::keyClick(control, Qt::Key_F9, modifiers);
  }
  void WaitForViewer() { QTRY_VERIFY_WITH_TIMEOUT(!form.WebBrowser1->IsLoading(), 5000); }
  // The controls that can hold the focus, the viewer and its find box among them.
  QList<QWidget*> Controls() {
    form.WebBrowser1->setFocus();
    QTest::keyClick(form.WebBrowser1, Qt::Key_F, Qt::ControlModifier);
    QLineEdit* findBox = nullptr;
    for (QLineEdit* edit : form.WebBrowser1->findChildren<QLineEdit*>()) {
      findBox = edit->isVisible() ? edit : findBox;
    }
    if (!findBox) {
      return {}; // the caller fails
    }
    return {form.eURL, form.bGo, form.cXMLCommand, form.Memo1, form.WebBrowser1, findBox};
  }
};

} // namespace

class RealDialogsTest : public QObject {
  Q_OBJECT
private slots:
  void cleanup() {
    SetReplyLimit(0);
    QCOMPARE(inet::OpenHandleCount(), 0u);
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
  }

  void f9RunsOncePerKeyDownThroughRealBoxesAndDialogs() {
    struct Case {
      const char* path;
      void (*answer)(QWidget*);
      int requestsPerRun; // a 401 answered with credentials (or a kept answer) is two requests
      int boxesPerRun;
    };
    const Case cases[] = {{"/ok", nullptr, 1, 0},
                          {"/missing", nullptr, 1, 1},
                          {"/auth", AnswerCredentials, 2, 0},
                          {"/auth", CancelCredentials, 1, 0}};
    const Qt::KeyboardModifiers modifiers[] = {Qt::NoModifier, Qt::ShiftModifier,
                                               Qt::ControlModifier, Qt::AltModifier};
    RealWindow w;
    const QList<QWidget*> controls = w.Controls();
    QVERIFY2(!controls.isEmpty(), "the viewer shows a find box on Ctrl+F");
    for (const Case& c : cases) {
      // An answered dialog is kept for the next run; a case starts without it.
      inet::InternetSetOptionW(nullptr, inet::INTERNET_OPTION_END_BROWSER_SESSION, nullptr, 0);
      ModalCloser closer(c.answer);
      w.form.eURL->setText(w.peer.Url(c.path));
      for (QWidget* control : controls) {
        for (const auto modifier : modifiers) {
          control->setFocus();
          const int before = w.peer.requests;
          w.Press(control, modifier);
          w.WaitForViewer();
          QVERIFY2(w.peer.requests - before == c.requestsPerRun,
                   qPrintable(u"%1 with the focus in %2: %3 requests"_s.arg(
                       QString::fromLatin1(c.path),
                       QString::fromLatin1(control->metaObject()->className()),
                       QString::number(w.peer.requests - before))));
        }
      }
      QCOMPARE(closer.boxTexts.size(), c.boxesPerRun * int(controls.size() * std::size(modifiers)));
    }
  }

  void aHeldF9RunsOnce() {
    RealWindow w;
    w.form.eURL->setText(w.peer.Url("/ok"));
    const QList<QWidget*> controls = w.Controls();
    QVERIFY2(!controls.isEmpty(), "the viewer shows a find box on Ctrl+F");
    for (QWidget* control : controls) {
      control->setFocus();
      const int before = w.peer.requests;
      QTest::keyPress(control, Qt::Key_F9);
      w.WaitForViewer();
      // What the window system sends while the key is held: repeats of the same key-down.
      for (int i = 0; i < 5; ++i) {
        qt_sendShortcutOverrideEvent(control, 0, Qt::Key_F9, Qt::NoModifier, QString(), true, 1);
        QKeyEvent repeat(QEvent::KeyPress, Qt::Key_F9, Qt::NoModifier, QString(), true);
        QApplication::sendEvent(control, &repeat);
      }
      QTest::keyRelease(control, Qt::Key_F9);
      w.WaitForViewer();
      QCOMPARE(w.peer.requests - before, 1);
    }
  }

  void theMessageBoxShowsPlainTextAndCopiesIt() {
    SetErrorPresenter({});
    SetApplicationTitle(u"Opcxmlda"_s);
    QGuiApplication::clipboard()->clear();
    bool inspected = false;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      QVERIFY(box);
      auto* label = box->findChild<QLabel*>(u"qt_msgbox_label"_s);
      QVERIFY(label);
      QCOMPARE(label->textFormat(), Qt::PlainText);
      QVERIFY(label->textInteractionFlags() & Qt::TextSelectableByMouse);
      QTest::keyClick(box, Qt::Key_C, Qt::ControlModifier);
      inspected = true;
      QTest::keyClick(box, Qt::Key_Return);
    });
    ShowError(
        std::make_exception_ptr(Error(u"Not Found (404) - 'A<br>B<b>C</b>'"_s.toStdU16String())));
    QVERIFY(inspected);
    const QString copied = QGuiApplication::clipboard()->text();
    QVERIFY2(copied.contains(u"Not Found (404) - 'A<br>B<b>C</b>'"_s), qPrintable(copied));
    QVERIFY2(copied.contains(u"Opcxmlda"_s), qPrintable(copied));
  }

  // Escape stops a reply that trickles; F9 and a click meanwhile start nothing; every clean-up
  // runs and nothing is shown; the old file and the viewer stay.
  void escapeStopsARunningRoundTripSilently() {
    RealWindow w;
    ModalCloser closer;
    {
      QFile old(w.ResponsePath());
      QVERIFY(old.open(QIODevice::WriteOnly));
      old.write("old");
    }
    w.form.eURL->setText(w.peer.Url("/trickle"));
    QTimer::singleShot(300, [&] {
      QTest::keyClick(w.form.Memo1, Qt::Key_F9);
      QTest::mouseClick(w.form.bGo, Qt::LeftButton);
      QTest::keyClicks(w.form.eURL, u"typed"_s);
      QTest::keyClick(w.form.Memo1, Qt::Key_Escape);
    });
    const auto start = std::chrono::steady_clock::now();
    QTest::keyClick(w.form.eURL, Qt::Key_F9);
    QVERIFY(std::chrono::steady_clock::now() - start < std::chrono::seconds(10));
    QCOMPARE(w.peer.requests.load(), 1);
    QCOMPARE(closer.boxTexts, QStringList());
    QCOMPARE(ReadFile(w.ResponsePath()), QByteArray("old"));
    QCOMPARE(w.form.WebBrowser1->Reply(), nullptr);
    QVERIFY(!w.form.eURL->text().endsWith(u"typed"_s));

    // The window goes on: the next run works.
    w.form.eURL->setText(w.peer.Url("/ok"));
    w.Press(w.form.eURL);
    w.WaitForViewer();
    QCOMPARE(ReadFile(w.ResponsePath()), QByteArray("<ok/>\r\n"));
  }

  void aReplyTooLargeToHoldEndsInAMessage() {
    RealWindow w;
    ModalCloser closer;
    SetReplyLimit(std::size_t{1} << 20);
    w.form.eURL->setText(w.peer.Url("/endless"));
    QTest::keyClick(w.form.eURL, Qt::Key_F9);
    QCOMPARE(closer.boxTexts.size(), 1);
    const auto match =
        QRegularExpression(u"^Not enough memory to hold the reply: the transfer was stopped after "
                           u"(\\d+) bytes\\.$"_s)
            .match(closer.boxTexts.value(0));
    QVERIFY2(match.hasMatch(), qPrintable(closer.boxTexts.value(0)));
    const qlonglong received = match.captured(1).toLongLong();
    QVERIFY(received > 0 && received <= (1 << 20));
    QCOMPARE(ReadFile(w.ResponsePath()), QByteArray("<missing>"));

    w.form.eURL->setText(w.peer.Url("/ok"));
    w.Press(w.form.eURL);
    w.WaitForViewer();
    QCOMPARE(ReadFile(w.ResponsePath()), QByteArray("<ok/>\r\n"));
  }

  // A folder named in bytes that are no UTF-8: the templates come from it and the reply goes
  // into it and is shown, nothing is read from or written to "/".
  void aFolderWhoseNameIsNoUtf8() {
    QTemporaryDir base;
    const std::filesystem::path folder =
        QFile::encodeName(base.path()).toStdString() + "/caf\xE9-\xFF/";
    std::filesystem::create_directory(folder);
    for (const char16_t* operation : kOperations) {
      std::ofstream(folder.native() + QString::fromUtf16(operation).toStdString() + ".x")
          << "<Request/>";
    }
    CountingPeer peer;
    ModalCloser closer;
    SetErrorPresenter({});
    TForm1 form(folder);
    form.show();
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QCOMPARE(form.Memo1->Text(), u"<Request/>"_s);
    form.eURL->setText(peer.Url("/ok"));
    QTest::keyClick(form.eURL, Qt::Key_F9);
    QTRY_VERIFY_WITH_TIMEOUT(!form.WebBrowser1->IsLoading(), 5000);
    QCOMPARE(closer.boxTexts, QStringList());
    std::ifstream in(folder.native() + "Response.xml", std::ios::binary);
    QCOMPARE(std::string(std::istreambuf_iterator<char>(in), {}), std::string("<ok/>\r\n"));
    QVERIFY(form.WebBrowser1->Reply());
    QCOMPARE(QByteArray::fromStdString(std::string(form.WebBrowser1->Reply()->Bytes())),
             QByteArray("<ok/>\r\n"));
  }

  // A template beyond the editor's capacity is refused and the editor keeps its text.
  void aTemplateTooLargeForTheEditor() {
    RealWindow w;
    ModalCloser closer;
    w.form.Memo1->SetText(u"my edits"_s);
    QFile huge(w.folder.Path() + u"Browse.x"_s);
    QVERIFY(huge.open(QIODevice::WriteOnly));
    QVERIFY(huge.resize((qint64{64} << 20) + 1));
    huge.close();
    Choose(w.form, 1);
    QCOMPARE(closer.boxTexts, QStringList{u"Text exceeds memo capacity."_s});
    QCOMPARE(w.form.Memo1->Text(), u"my edits"_s);
  }
};

static Register<RealDialogsTest> registered;

} // namespace opc::test

#include "RealDialogsTest.moc"

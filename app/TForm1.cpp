#include "app/TForm1.h"

#include "app/ErrorDisplay.h"
#include "app/GoCommand.h"
#include "app/ItemsActions.h"
#include "app/TMemo.h"
#include "app/TRestoreActivation.h"
#include "app/TSplitter.h"
#include "roundtrip/Operations.h"
#include "roundtrip/TemplateFile.h"
#include "viewer/TWebBrowser.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QVBoxLayout>
#include <fcntl.h>
#include <limits>
#include <utility>

namespace opc {

using namespace Qt::StringLiterals;

namespace {

constexpr int kPanel1Height = 57;
constexpr int kMemoHeight = 200;
constexpr int kSplitterHeight = 8;
constexpr int kPanel2Height = 17;
constexpr int kViewerKeeps = 30;

const QString kDefaultUrl = QStringLiteral("http://localhost/opcxmlda/QuelmSim.Tandrel.Simulation");

constexpr std::uint16_t kVkF9 = 120;

// F9 with every combination of Shift, Ctrl, Alt and Meta.
QList<QKeySequence> F9WithAnyModifier() {
  const Qt::KeyboardModifier each[] = {Qt::ShiftModifier, Qt::ControlModifier, Qt::AltModifier,
                                       Qt::MetaModifier};
  QList<QKeySequence> keys;
  for (unsigned set = 0; set < 16; ++set) {
    Qt::KeyboardModifiers modifiers;
    for (unsigned i = 0; i < 4; ++i) {
      if (set & (1u << i)) {
        modifiers |= each[i];
      }
    }
    keys << QKeySequence(QKeyCombination(modifiers, Qt::Key_F9));
  }
  return keys;
}

QLabel* FittedLabel(const QString& text, int left, int top, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->adjustSize();
  label->setGeometry(left, top, label->width(), 16);
  return label;
}

QWidget* FlatPanel(int height, QWidget* parent) {
  auto* panel = new QWidget(parent);
  panel->setFixedHeight(height);
  return panel;
}

} // namespace

TForm1::TForm1(const QString& folder, QWidget* parent)
    : TForm1(std::filesystem::path(QFile::encodeName(folder).toStdString()), parent) {}

TForm1::TForm1(std::filesystem::path folder, QWidget* parent)
    : QWidget(parent), FFolder(std::move(folder)) {
  // The viewer takes its path as text. A folder whose bytes do not come back from text is
  // handed over through an open handle of it, whose name the kernel resolves to the folder.
  const QByteArray bytes = QByteArray::fromStdString(FFolder.native());
  FViewerFolder = QFile::decodeName(bytes);
  if (QFile::encodeName(FViewerFolder) != bytes) {
    FFolderHandle.reset(::open(FFolder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (FFolderHandle) {
      FViewerFolder = u"/proc/self/fd/"_s + QString::number(FFolderHandle.get()) + u'/';
    }
  }

  setWindowTitle(QStringLiteral("OPC XML DA Miltane Sample"));
  QFont font(QStringLiteral("Sans Serif"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(13);
  setFont(font);
  resize(578, 501);

  Panel1 = FlatPanel(kPanel1Height, this);
  Label1 = FittedLabel(QStringLiteral("OPC Server URL "), 0, 8, Panel1);
  Label4 = FittedLabel(QStringLiteral("OPC XML Command"), 0, 32, Panel1);
  eURL = new QLineEdit(kDefaultUrl, Panel1);
  eURL->setGeometry(176, 4, 369, 24);
  bGo = new QPushButton(QStringLiteral("F9 = Go"), Panel1);
  bGo->setGeometry(488, 28, 57, 25);
  bGo->setAutoDefault(false);
  cXMLCommand = new QComboBox(Panel1);
  cXMLCommand->setGeometry(176, 28, 305, 24);
  for (const char16_t* operation : kOperations) {
    cXMLCommand->addItem(QString::fromUtf16(operation));
  }
  cXMLCommand->setMaxVisibleItems(8);
  cXMLCommand->setCurrentIndex(-1); // nothing is chosen until the window is first shown

  Memo1 = new TMemo(this);
  Memo1->setFixedHeight(kMemoHeight);
  Splitter1 =
      new TSplitter(Memo1, kPanel1Height + kSplitterHeight + kPanel2Height + kViewerKeeps, this);
  Panel2 = FlatPanel(kPanel2Height, this);
  Label3 = FittedLabel(QStringLiteral("OPC XML DA Output"), 0, 0, Panel2);
  WebBrowser1 = new TWebBrowser(this);
  ItemsActions = new TItemsActions(*this);

  // The window has no minimum size and never grows by itself: the layout does not impose the sum
  // of its controls' wishes on the window (a long text in the viewer would widen it, the viewer's
  // own minimum would push the window down when the splitter leaves it 30 px). Bars that do not
  // fit are cut off at the bottom, the viewer first.
  WebBrowser1->setMinimumSize(1, 1);
  eURL->setMaxLength(std::numeric_limits<int>::max()); // no limit on the URL's length
  auto* bars = new QVBoxLayout(this);
  bars->setSizeConstraint(QLayout::SetNoConstraint);
  bars->setContentsMargins(0, 0, 0, 0);
  bars->setSpacing(0);
  bars->addWidget(Panel1);
  bars->addWidget(Memo1);
  bars->addWidget(Splitter1);
  bars->addWidget(Panel2);
  bars->addWidget(WebBrowser1, 1);

  setTabOrder(eURL, bGo);
  setTabOrder(bGo, cXMLCommand);
  setTabOrder(cXMLCommand, WebBrowser1);
  setTabOrder(WebBrowser1, Memo1);

  // activated fires for the user's choices only, never when the program sets the selection.
  connect(cXMLCommand, &QComboBox::activated, this,
          [this] { Guarded([this] { cXMLCommandChange(); }); });
  connect(bGo, &QPushButton::clicked, this, [this] { Guarded([this] { bGoClick(); }); });

  // F9 is heard through the shortcut map, which sees each key press once, at its arrival from the
  // window system, before any control: whatever has the focus, however a control passes keys on
  // inside itself, and whatever a dialog does to the focus while the run is under way. The key is
  // taken there, so it cannot reach the window a second time. A held key's repeats are not new
  // key-downs and run nothing.
  auto* go = new QShortcut(this);
  go->setKeys(F9WithAnyModifier());
  go->setContext(Qt::WindowShortcut);
  go->setAutoRepeat(false);
  connect(go, &QShortcut::activated, this, [this] {
    if (std::exchange(FF9Repeats, false)) {
      return;
    }
    std::uint16_t key = kVkF9;
    Guarded([&] { FormKeyDown(key, QGuiApplication::queryKeyboardModifiers()); });
  });
  qApp->installEventFilter(this);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  // A held key comes from the window system as repeated presses. Where the platform does not mark
  // them as repeats (an X server sends each as a release and a press of the same instant), the
  // press that follows a release with the same timestamp is a repeat, not a new key-down.
  if (watched->isWindowType() && event->spontaneous() &&
      (event->type() == QEvent::KeyRelease || event->type() == QEvent::ShortcutOverride)) {
    const auto* key = static_cast<const QKeyEvent*>(event);
    if (key->key() == Qt::Key_F9) {
      if (event->type() == QEvent::KeyRelease) {
        FF9ReleasedAt = key->timestamp();
      } else {
        FF9Repeats =
            key->isAutoRepeat() || (key->timestamp() != 0 && key->timestamp() == FF9ReleasedAt);
      }
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TForm1::FormKeyDown(std::uint16_t& Key, Qt::KeyboardModifiers) {
  if (Key == kVkF9) {
    bGoClick();
  }
}

void TForm1::bGoClick() {
  // Input is held back while a run goes on, but a dialog of the run lets events through: a run
  // is never started inside another.
  if (FRunning) {
    return;
  }
  FRunning = true;
  const struct Done {
    bool& running;
    ~Done() { running = false; }
  } done{FRunning};
  const TRestoreActivation restore; // a credentials dialog may have taken it
  RunGoCommand(
      TGoInput{cXMLCommand->currentText(), Memo1->Text(), eURL->text(), FFolder, FViewerFolder},
      *WebBrowser1);
  // The run holds input back, so the editor still holds what was sent: a next page repeats it.
  ItemsActions->NoteAnswered(Memo1->Text());
}

bool TForm1::event(QEvent* event) {
  // The window manager adds the frame only once the window is on screen; the first activation
  // comes after that, before the user can have moved the window. If the frame changed the outer
  // size, the window is centred again by its outer frame.
  if (event->type() == QEvent::WindowActivate && !FActivated) {
    FActivated = true;
    if (frameGeometry().size() != FCentredOuter) {
      CentreOnDesktop();
    }
  }
  return QWidget::event(event);
}

void TForm1::showEvent(QShowEvent* event) {
  if (!FShown) {
    FShown = true;
    Guarded([this] { FormShow(); });
    CentreOnDesktop();
    eURL->setFocus();
  }
  QWidget::showEvent(event);
}

void TForm1::FormShow() {
  cXMLCommand->setCurrentIndex(0);
  cXMLCommandChange();
}

void TForm1::cXMLCommandChange() {
  const std::string name = QString(cXMLCommand->currentText() + u".x").toStdString();
  const QString text = QString::fromStdU16String(LoadTemplateText(FFolder.native() + name));
  if (text != Memo1->Text()) {
    Memo1->SetText(text);
  }
}

void TForm1::CentreOnDesktop() {
  const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
  if (!screen) {
    return;
  }
  const QRect desktop = screen->virtualGeometry();
  const QSize outer = frameGeometry().size();
  FCentredOuter = outer;
  const int left =
      std::max(desktop.width() / 2 + desktop.left() - outer.width() / 2, desktop.left());
  const int top =
      std::max(desktop.height() / 2 + desktop.top() - outer.height() / 2, desktop.top());
  move(left, top);
}

} // namespace opc

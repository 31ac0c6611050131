#include "app/TForm1.h"

#include "app/ErrorDisplay.h"
#include "app/GoCommand.h"
#include "app/ItemsActions.h"
#include "app/TMemo.h"
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
#include <QVBoxLayout>

namespace opc {

namespace {

constexpr int kPanel1Height = 57;
constexpr int kMemoHeight = 200;
constexpr int kSplitterHeight = 8;
constexpr int kPanel2Height = 17;
constexpr int kViewerKeeps = 30;

const QString kDefaultUrl = QStringLiteral("http://localhost/opcxmlda/QuelmSim.Tandrel.Simulation");

constexpr std::uint16_t kVkF9 = 120;

// The virtual-key code of a key: the function keys as the platform numbers them, 0 for others.
std::uint16_t VirtualKeyCode(int key) {
  if (key >= Qt::Key_F1 && key <= Qt::Key_F24) {
    return static_cast<std::uint16_t>(112 + (key - Qt::Key_F1));
  }
  return 0;
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

TForm1::TForm1(QString folder, QWidget* parent) : QWidget(parent), FFolder(std::move(folder)) {
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

  auto* bars = new QVBoxLayout(this);
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
  qApp->installEventFilter(this);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  // A key press that its control does not take travels up to the parents and passes the filter
  // again each time; only its first delivery, to the control with the focus, counts.
  QWidget* receiver = QApplication::focusWidget() ? QApplication::focusWidget() : this;
  if (event->type() == QEvent::KeyPress && watched == receiver && receiver->window() == this) {
    const auto* key = static_cast<QKeyEvent*>(event);
    std::uint16_t code = VirtualKeyCode(key->key());
    Guarded([&] { FormKeyDown(code, key->modifiers()); });
  }
  return QWidget::eventFilter(watched, event);
}

void TForm1::FormKeyDown(std::uint16_t& Key, Qt::KeyboardModifiers) {
  if (Key == kVkF9) {
    bGoClick();
  }
}

void TForm1::bGoClick() {
  RunGoCommand(TGoInput{cXMLCommand->currentText(), Memo1->Text(), eURL->text(), FFolder},
               *WebBrowser1);
  // The run holds input back, so the editor still holds what was sent: a next page repeats it.
  ItemsActions->NoteAnswered(Memo1->Text());
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
  const QString path = FFolder + cXMLCommand->currentText() + u".x";
  const QString text = QString::fromStdU16String(
      LoadTemplateText(std::filesystem::path(QFile::encodeName(path).toStdString())));
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
  const int left =
      std::max(desktop.width() / 2 + desktop.left() - outer.width() / 2, desktop.left());
  const int top =
      std::max(desktop.height() / 2 + desktop.top() - outer.height() / 2, desktop.top());
  move(left, top);
}

} // namespace opc

#include "app/ErrorDisplay.h"

#include "app/TRestoreActivation.h"
#include "base/ErrorText.h"

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QWidget>

namespace opc {

namespace {

ErrorPresenter& Presenter() {
  static ErrorPresenter presenter;
  return presenter;
}

QString& Title() {
  static QString title;
  return title;
}

// What Ctrl+C puts on the clipboard: the whole box, laid out as the Windows message box does.
QString CopiedText(const QString& caption, const QString& text) {
  const QString rule = QStringLiteral("---------------------------\n");
  return rule + caption + u'\n' + rule + text + u'\n' + rule + QStringLiteral("OK\n") + rule;
}

// The stop box. Ctrl+C copies the whole message whichever part of the box has the focus: the
// key travels up from the OK button to the box.
class TErrorBox : public QMessageBox {
public:
  TErrorBox(const QString& caption, const QString& text)
      : QMessageBox(QMessageBox::Critical, caption, text, QMessageBox::Ok,
                    QApplication::activeWindow()) {
    // A server or a URL controls parts of the text: it is shown as it stands, never as markup.
    setTextFormat(Qt::PlainText);
    // Selectable with the mouse only, so the label never takes the focus from OK.
    setTextInteractionFlags(Qt::TextSelectableByMouse);
  }

protected:
  void keyPressEvent(QKeyEvent* event) override {
    if (event->matches(QKeySequence::Copy)) {
      QGuiApplication::clipboard()->setText(CopiedText(windowTitle(), text()));
      return;
    }
    QMessageBox::keyPressEvent(event);
  }
};

void ShowMessageBox(const QString& caption, const QString& text) {
  const TRestoreActivation restore;
  TErrorBox box(caption, text);
  box.exec();
}

// A drag or a press in progress must not go on behind the message box.
void ReleaseGrabs() {
  if (QWidget* grabber = QWidget::mouseGrabber()) {
    grabber->releaseMouse();
  }
  if (QWidget* grabber = QWidget::keyboardGrabber()) {
    grabber->releaseKeyboard();
  }
}

} // namespace

void SetErrorPresenter(ErrorPresenter presenter) {
  Presenter() = std::move(presenter);
}

QString ApplicationTitle() {
  return Title();
}
void SetApplicationTitle(const QString& title) {
  Title() = title;
}

void ShowError(std::exception_ptr error) noexcept {
  try {
    ReleaseGrabs();
    const auto text = ErrorDisplayText(error);
    if (!text) {
      return;
    }
    const QString message = QString::fromStdU16String(*text);
    if (Presenter()) {
      Presenter()(Title(), message);
    } else {
      ShowMessageBox(Title(), message);
    }
  } catch (...) {
    // The display itself failed (out of memory, say); there is nothing left to show it with.
  }
}

} // namespace opc

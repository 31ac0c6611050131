#include "app/ErrorDisplay.h"

#include "base/ErrorText.h"

#include <QApplication>
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

void ShowMessageBox(const QString& caption, const QString& text) {
  QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok,
                  QApplication::activeWindow());
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

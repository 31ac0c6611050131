#pragma once

#include <QApplication>
#include <QPointer>
#include <QWidget>

namespace opc {

// Whatever window was active, and the control that had the focus, get both back at the end of
// the scope: after a message box or a dialog the user's next key goes where it went before, also
// where no window manager hands activation back.
class TRestoreActivation {
public:
  TRestoreActivation()
      : FWindow(QApplication::activeWindow()), FFocus(QApplication::focusWidget()) {}
  ~TRestoreActivation() {
    if (FWindow && FWindow->isVisible() && !QApplication::activeModalWidget()) {
      FWindow->activateWindow();
      if (FFocus && FFocus->window() == FWindow) {
        FFocus->setFocus();
      }
    }
  }
  TRestoreActivation(const TRestoreActivation&) = delete;
  TRestoreActivation& operator=(const TRestoreActivation&) = delete;

private:
  QPointer<QWidget> FWindow;
  QPointer<QWidget> FFocus;
};

} // namespace opc

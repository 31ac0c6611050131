#include "app/TRunInputGuard.h"

#include "transport/inet/InetHooks.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>
#include <QWindow>

namespace opc {

namespace {

// How often the transfer hands the event loop a turn: often enough for Escape and repaints to
// feel immediate, rarely enough to cost nothing next to the transfer.
constexpr auto kEventInterval = std::chrono::milliseconds(50);

bool IsInput(QEvent::Type type) {
  switch (type) {
  case QEvent::KeyPress:
  case QEvent::KeyRelease:
  case QEvent::ShortcutOverride:
  case QEvent::Shortcut:
  case QEvent::MouseButtonPress:
  case QEvent::MouseButtonRelease:
  case QEvent::MouseButtonDblClick:
  case QEvent::MouseMove:
  case QEvent::NonClientAreaMouseButtonPress:
  case QEvent::NonClientAreaMouseButtonRelease:
  case QEvent::NonClientAreaMouseButtonDblClick:
  case QEvent::Wheel:
  case QEvent::ContextMenu:
  case QEvent::TouchBegin:
  case QEvent::TouchUpdate:
  case QEvent::TouchEnd:
  case QEvent::TouchCancel:
  case QEvent::TabletPress:
  case QEvent::TabletMove:
  case QEvent::TabletRelease:
  case QEvent::InputMethod:
  case QEvent::DragEnter:
  case QEvent::DragMove:
  case QEvent::Drop:
  case QEvent::Close:
    return true;
  default:
    return false;
  }
}

// Input for a modal dialog opened during the run (it blocks the window anyway) goes through.
bool BelongsToModalDialog(QObject* watched) {
  const QWidget* modal = QApplication::activeModalWidget();
  if (!modal) {
    return false;
  }
  if (const auto* widget = qobject_cast<QWidget*>(watched)) {
    return widget->window() == modal;
  }
  if (const auto* window = qobject_cast<QWindow*>(watched)) {
    return window == modal->windowHandle();
  }
  return false;
}

} // namespace

TRunInputGuard::TRunInputGuard() : FLastEvents(std::chrono::steady_clock::now()) {
  qApp->installEventFilter(this);
  inet::SetWaitHook([this] { return Wait(); });
}

TRunInputGuard::~TRunInputGuard() {
  inet::SetWaitHook({});
  qApp->removeEventFilter(this);
}

bool TRunInputGuard::Wait() {
  const auto now = std::chrono::steady_clock::now();
  if (now - FLastEvents >= kEventInterval) {
    FLastEvents = now;
    QCoreApplication::processEvents();
  }
  return FCancelled;
}

bool TRunInputGuard::eventFilter(QObject* watched, QEvent* event) {
  if (!IsInput(event->type()) || BelongsToModalDialog(watched)) {
    return false;
  }
  if (event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
    FCancelled = true;
  }
  return true;
}

} // namespace opc

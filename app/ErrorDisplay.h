#pragma once

#include <QString>
#include <exception>
#include <functional>
#include <utility>

namespace opc {

// Shows one message to the user: caption and text. The default is a modal critical message box
// with one OK button owned by the active window; tests install a recorder instead.
using ErrorPresenter = std::function<void(const QString& caption, const QString& text)>;
void SetErrorPresenter(ErrorPresenter presenter); // an empty presenter restores the message box

// The application title captions every message box.
QString ApplicationTitle();
void SetApplicationTitle(const QString& title);

// The one way a failure reaches the user: the mouse grab is released first, a silent abort shows
// nothing, any other error shows its innermost message with the closing period. Never throws.
void ShowError(std::exception_ptr error) noexcept;

// Runs an event handler so that no exception crosses Qt's event dispatch.
template <class Handler> void Guarded(Handler&& handler) noexcept {
  try {
    std::forward<Handler>(handler)();
  } catch (...) {
    ShowError(std::current_exception());
  }
}

} // namespace opc

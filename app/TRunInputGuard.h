#pragma once

#include <QObject>
#include <chrono>

namespace opc {

// For the time of one round trip: the window keeps painting, but no input reaches it, so no
// second run can start behind the first; Escape asks the transfer to stop. A dialog that the
// run itself opens (the credentials dialog) takes its input as usual.
class TRunInputGuard : public QObject {
public:
  TRunInputGuard();
  ~TRunInputGuard() override;
  TRunInputGuard(const TRunInputGuard&) = delete;
  TRunInputGuard& operator=(const TRunInputGuard&) = delete;

  // True once the user pressed Escape.
  bool Cancelled() const noexcept { return FCancelled; }

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  bool Wait();

  bool FCancelled = false;
  std::chrono::steady_clock::time_point FLastEvents;
};

} // namespace opc

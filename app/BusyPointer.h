#pragma once

#include <QCursor>
#include <QGuiApplication>

namespace opc {

// The application's busy pointer for the lifetime of the object; the shape it found comes back
// however the scope is left.
class TBusyPointer {
public:
  TBusyPointer() { QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }
  ~TBusyPointer() { QGuiApplication::restoreOverrideCursor(); }
  TBusyPointer(const TBusyPointer&) = delete;
  TBusyPointer& operator=(const TBusyPointer&) = delete;
};

} // namespace opc

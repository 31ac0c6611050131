#pragma once

#include "transport/inet/WinInet.h"

#include <memory>

namespace opc::inet::detail {

// Every HINTERNET points at one of these. The registry knows which are alive, so that a stale or
// foreign handle fails with ERROR_INVALID_HANDLE instead of being followed.
class THandle {
public:
  enum class Kind { Root, Connection, Request };
  explicit THandle(Kind kind);
  virtual ~THandle();
  THandle(const THandle&) = delete;
  THandle& operator=(const THandle&) = delete;

  Kind kind() const noexcept { return FKind; }

private:
  Kind FKind;
};

// The live handle of that kind, or null with the last error set to ERROR_INVALID_HANDLE.
THandle* Lookup(HINTERNET handle, THandle::Kind kind);
template <class T> T* As(HINTERNET handle) {
  return static_cast<T*>(Lookup(handle, T::kKind));
}

// Hands a new handle out; the registry owns it until InternetCloseHandle.
HINTERNET Publish(std::unique_ptr<THandle> handle);
bool Close(HINTERNET handle);
std::size_t LiveCount();

// Sets the last error and returns the failure value of the call's kind.
BOOL Fail(DWORD code);
HINTERNET FailHandle(DWORD code);
BOOL Succeed();

} // namespace opc::inet::detail

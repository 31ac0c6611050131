#include "transport/inet/Handles.h"

#include "transport/inet/InetHooks.h"

#include <map>
#include <mutex>

namespace opc::inet {

namespace {

thread_local DWORD tLastError = 0;

std::mutex& RegistryMutex() {
  static std::mutex mutex;
  return mutex;
}

std::map<void*, std::unique_ptr<detail::THandle>>& Registry() {
  static std::map<void*, std::unique_ptr<detail::THandle>> registry;
  return registry;
}

} // namespace

DWORD GetLastError() {
  return tLastError;
}
void SetLastError(DWORD code) {
  tLastError = code;
}

std::size_t OpenHandleCount() {
  return detail::LiveCount();
}

namespace detail {

THandle::THandle(Kind kind) : FKind(kind) {}
THandle::~THandle() = default;

THandle* Lookup(HINTERNET handle, THandle::Kind kind) {
  std::lock_guard lock(RegistryMutex());
  const auto found = Registry().find(handle);
  if (found == Registry().end() || found->second->kind() != kind) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return found->second.get();
}

HINTERNET Publish(std::unique_ptr<THandle> handle) {
  void* key = handle.get();
  std::lock_guard lock(RegistryMutex());
  Registry().emplace(key, std::move(handle));
  SetLastError(ERROR_SUCCESS);
  return key;
}

bool Close(HINTERNET handle) {
  std::unique_ptr<THandle> closing;
  {
    std::lock_guard lock(RegistryMutex());
    const auto found = Registry().find(handle);
    if (found == Registry().end()) {
      return false;
    }
    closing = std::move(found->second);
    Registry().erase(found);
  }
  closing.reset(); // outside the lock: a request's clean-up talks to curl
  return true;
}

std::size_t LiveCount() {
  std::lock_guard lock(RegistryMutex());
  return Registry().size();
}

BOOL Fail(DWORD code) {
  SetLastError(code);
  return FALSE;
}

HINTERNET FailHandle(DWORD code) {
  SetLastError(code);
  return nullptr;
}

BOOL Succeed() {
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

} // namespace detail
} // namespace opc::inet

#include "transport/inet/Session.h"

#include "base/Utf8Encoding.h"
#include "transport/inet/InetHooks.h"

#include <mutex>

namespace opc::inet {

namespace {

struct TTimeouts {
  DWORD connect = 60'000, send = 30'000, receive = 30'000;
};
TTimeouts gDefaults;

} // namespace

void SetDefaultTimeouts(DWORD connectMs, DWORD sendMs, DWORD receiveMs) {
  gDefaults = TTimeouts{connectMs, sendMs, receiveMs};
}

namespace detail {

void EnsureCurlInitialised() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::string Utf8(const char16_t* text) {
  return text ? EncodeUtf8(std::u16string_view(text)) : std::string();
}

} // namespace detail

using namespace detail;

// The machine may always try to go online here; there is no offline mode to leave.
DWORD InternetAttemptConnect(DWORD) {
  SetLastError(ERROR_SUCCESS);
  return ERROR_SUCCESS;
}

HINTERNET InternetOpenW(const char16_t* agent, DWORD accessType, const char16_t* proxy,
                        const char16_t*, DWORD) {
  EnsureCurlInitialised();
  auto state = std::make_shared<TSessionState>();
  state->multi.reset(curl_multi_init());
  if (!state->multi) {
    return FailHandle(ERROR_NOT_ENOUGH_MEMORY);
  }
  state->connectTimeoutMs = gDefaults.connect;
  state->sendTimeoutMs = gDefaults.send;
  state->receiveTimeoutMs = gDefaults.receive;
  state->agent = Utf8(agent);
  state->accessType = accessType;
  state->proxy = Utf8(proxy);
  return Publish(std::make_unique<TRoot>(std::move(state)));
}

HINTERNET InternetConnectW(HINTERNET root, const char16_t* serverName, INTERNET_PORT port,
                           const char16_t* userName, const char16_t* password, DWORD service, DWORD,
                           DWORD_PTR) {
  auto* owner = As<TRoot>(root);
  if (!owner) {
    return nullptr;
  }
  if (service != INTERNET_SERVICE_HTTP || !serverName || !*serverName) {
    return FailHandle(ERROR_INVALID_PARAMETER);
  }
  auto connection = std::make_unique<TConnection>();
  connection->session = owner->session;
  connection->host = Utf8(serverName);
  connection->port = port == 0 ? INTERNET_DEFAULT_HTTP_PORT : port;
  connection->userName = Utf8(userName);
  connection->password = Utf8(password);
  return Publish(std::move(connection));
}

BOOL InternetCloseHandle(HINTERNET handle) {
  return Close(handle) ? Succeed() : Fail(ERROR_INVALID_HANDLE);
}

} // namespace opc::inet

#include "transport/inet/Session.h"

#include "base/Utf8Encoding.h"
#include "transport/inet/InetHooks.h"

#include <cstdlib>
#include <mutex>
#include <string_view>

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

namespace {

// "http://user:pw@host:port/" or "host:port" or "[::1]:port"; defaultPort when none is written.
std::optional<TProxyAddress> ParseProxy(std::string_view text, INTERNET_PORT defaultPort) {
  if (const auto scheme = text.find("://"); scheme != std::string_view::npos) {
    text.remove_prefix(scheme + 3);
  }
  text = text.substr(0, text.find('/'));
  if (const auto at = text.rfind('@'); at != std::string_view::npos) {
    text.remove_prefix(at + 1);
  }
  TProxyAddress address;
  std::string_view port;
  if (!text.empty() && text.front() == '[') {
    const auto close = text.find(']');
    if (close == std::string_view::npos) {
      return std::nullopt;
    }
    address.host = std::string(text.substr(1, close - 1));
    if (close + 1 < text.size() && text[close + 1] == ':') {
      port = text.substr(close + 2);
    }
  } else {
    const auto colon = text.find(':');
    address.host = std::string(text.substr(0, colon));
    if (colon != std::string_view::npos) {
      port = text.substr(colon + 1);
    }
  }
  unsigned value = 0;
  for (char c : port) {
    if (c < '0' || c > '9' || (value = value * 10 + static_cast<unsigned>(c - '0')) > 65535) {
      return std::nullopt;
    }
  }
  address.port = port.empty() ? defaultPort : static_cast<INTERNET_PORT>(value);
  if (address.host.empty()) {
    return std::nullopt;
  }
  return address;
}

const char* Environment(const char* lower, const char* upper) {
  const char* value = std::getenv(lower);
  if ((!value || !*value) && upper) {
    value = std::getenv(upper);
  }
  return value && *value ? value : nullptr;
}

} // namespace

std::optional<TProxyAddress> ProxyFor(const TSessionState& session, bool secure) {
  if (session.accessType == INTERNET_OPEN_TYPE_PROXY) {
    // A list by scheme names the entry for this scheme; a plain entry serves every scheme.
    std::string_view list = session.proxy;
    std::optional<std::string_view> plain;
    while (!list.empty()) {
      const auto end = list.find_first_of(" ;");
      const std::string_view entry = list.substr(0, end);
      list = end == std::string_view::npos ? std::string_view() : list.substr(end + 1);
      const auto equals = entry.find('=');
      if (equals == std::string_view::npos) {
        plain = plain ? plain : entry;
      } else if (entry.substr(0, equals) == (secure ? "https" : "http")) {
        return ParseProxy(entry.substr(equals + 1), INTERNET_DEFAULT_HTTP_PORT);
      }
    }
    return plain ? ParseProxy(*plain, INTERNET_DEFAULT_HTTP_PORT) : std::nullopt;
  }
  if (session.accessType == INTERNET_OPEN_TYPE_PRECONFIG) {
    // As libcurl reads them: http_proxy only in lower case, then all_proxy; its default port.
    const char* value =
        secure ? Environment("https_proxy", "HTTPS_PROXY") : Environment("http_proxy", nullptr);
    if (!value) {
      value = Environment("all_proxy", "ALL_PROXY");
    }
    if (value) {
      return ParseProxy(value, 1080);
    }
  }
  return std::nullopt;
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

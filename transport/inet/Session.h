#pragma once

#include "transport/inet/CurlOwners.h"
#include "transport/inet/Handles.h"

#include <memory>
#include <optional>
#include <string>

namespace opc::inet::detail {

// What a root handle holds; shared with its connections and requests, so that its curl multi
// handle (and the connections it keeps alive) lasts as long as any of them.
struct TSessionState {
  CurlMulti multi;
  std::string agent;
  DWORD accessType = INTERNET_OPEN_TYPE_PRECONFIG;
  std::string proxy;
  // Set from the defaults when the root opens (SetDefaultTimeouts).
  DWORD connectTimeoutMs = 0;
  DWORD sendTimeoutMs = 0;
  DWORD receiveTimeoutMs = 0;
};

class TRoot final : public THandle {
public:
  static constexpr Kind kKind = Kind::Root;
  explicit TRoot(std::shared_ptr<TSessionState> state)
      : THandle(kKind), session(std::move(state)) {}
  std::shared_ptr<TSessionState> session;
};

class TConnection final : public THandle {
public:
  static constexpr Kind kKind = Kind::Connection;
  TConnection() : THandle(kKind) {}
  std::shared_ptr<TSessionState> session;
  std::string host; // UTF-8, IPv6 literals without brackets
  INTERNET_PORT port = 0;
  std::string userName;
  std::string password;
};

std::string Utf8(const char16_t* text);

// The proxy a request of the session goes through, as far as the layer can tell: the named one
// ("host:port", "http://host:port", or a list by scheme such as "http=a:3128 https=b:3128"),
// or with the preconfigured access type the one the environment names.
struct TProxyAddress {
  std::string host;
  INTERNET_PORT port = 0;
};
std::optional<TProxyAddress> ProxyFor(const TSessionState& session, bool secure);

} // namespace opc::inet::detail

#pragma once

#include "transport/inet/ProxySocket.h"
#include "transport/inet/Session.h"

#include <optional>
#include <string>

namespace opc::inet::detail {

// What the layer asks the proxy for when it opens a tunnel itself.
struct TTunnelRequest {
  std::string target; // "host:port" of the server, as CONNECT names it
  std::string agent;
  std::string user, password; // for the proxy; empty: none
  long offered = 0;           // CURLAUTH_* bits of the schemes the proxy asked for
  std::string negotiate;      // a Negotiate token (base64) for the proxy; empty: none
};

struct TTunnel {
  TSocket socket;                       // connected through the proxy to the server
  DWORD failure = 0;                    // why no tunnel, when the network failed
  std::optional<TResponseHead> refusal; // the proxy's last reply, when it refused
  long tried = 0;                       // the CURLAUTH_* scheme the credentials went by
  int connects = 0;                     // CONNECT requests sent (for the record)
};

// CONNECT to the server through the proxy on a connection of the layer's own, with the proxy's
// Negotiate token when there is one, else NTLM's handshake on that one connection (the proxy
// binds it there), or Basic when that is what it asks for; each credential goes once. The socket
// then carries the server's traffic.
TTunnel OpenTunnel(const TProxyAddress& proxy, const TTunnelRequest& request,
                   const TTalkLimits& limits);

} // namespace opc::inet::detail

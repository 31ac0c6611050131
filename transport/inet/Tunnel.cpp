#include "transport/inet/Tunnel.h"

#include "transport/inet/Challenge.h"
#include "transport/inet/ExchangeRecording.h"
#include "transport/inet/Ntlm.h"

#include <curl/curl.h>

namespace opc::inet::detail {

TTunnel OpenTunnel(const TProxyAddress& proxy, const TTunnelRequest& request,
                   const TTalkLimits& limits) {
  TTunnel tunnel;
  TProxySocket socket(proxy.host, proxy.port, limits);
  const bool hasUser = !request.user.empty();
  std::string authorization;
  if (!request.negotiate.empty()) {
    authorization = "Negotiate " + request.negotiate;
    tunnel.tried = CURLAUTH_NEGOTIATE;
  } else if (hasUser && (request.offered & CURLAUTH_NTLM)) {
    authorization = "NTLM " + NtlmNegotiateMessage();
    tunnel.tried = CURLAUTH_NTLM;
  } else if (hasUser && (request.offered & CURLAUTH_BASIC)) {
    authorization = "Basic " + Base64Encode(request.user + ":" + request.password);
    tunnel.tried = CURLAUTH_BASIC;
  }
  // At most: NTLM's NEGOTIATE and AUTHENTICATE legs, or one Basic request.
  for (int leg = 0; leg < 2; ++leg) {
    if (!socket.Connected()) {
      if ((tunnel.failure = socket.Connect())) {
        return tunnel;
      }
    }
    std::string head = "CONNECT " + request.target + " HTTP/1.1\r\nHost: " + request.target +
                       "\r\nProxy-Connection: Keep-Alive\r\n";
    if (!request.agent.empty()) {
      head += "User-Agent: " + request.agent + "\r\n";
    }
    if (!authorization.empty()) {
      head += "Proxy-Authorization: " + authorization + "\r\n";
    }
    head += "\r\n";
    ++tunnel.connects;
    RecordOwnRequest(head, "The client's own tunnel: CONNECT on its own connection to the proxy " +
                               proxy.host + ":" + std::to_string(proxy.port));
    TProxyReply reply;
    if ((tunnel.failure = socket.Send(head)) || (tunnel.failure = socket.Receive(reply))) {
      return tunnel;
    }
    RecordOwnReply(reply.head.Raw());
    const int status = reply.head.Status();
    if (status >= 200 && status < 300) {
      tunnel.socket = socket.Release();
      return tunnel;
    }
    std::optional<TNtlmChallenge> challenge;
    if (status == 407 && leg == 0 && tunnel.tried == CURLAUTH_NTLM) {
      if (const auto data = ReadChallenges(reply.head).Data("NTLM")) {
        challenge = ParseNtlmChallenge(*data);
      }
    }
    // The challenge holds only on the connection that brought it.
    if (!challenge || !reply.reusable) {
      tunnel.refusal = std::move(reply.head);
      return tunnel;
    }
    authorization = "NTLM " + NtlmAnswer(*challenge, TNtlmIdentity{request.user, request.password});
  }
  return tunnel;
}

} // namespace opc::inet::detail

#include "transport/inet/Negotiate.h"
#include "transport/inet/Ntlm.h"
#include "transport/inet/Request.h"
#include "transport/inet/Tunnel.h"

// How a request answers the server's and the proxy's challenges: which credentials go to whom,
// the handshakes the layer runs itself (NTLM, Negotiate with a password, the proxy's tunnel),
// and the answers kept for a party.
namespace opc::inet::detail {

void TRequest::SetUserName(bool proxy, std::string name) {
  TParty& party = proxy ? FProxy : FServer;
  party.answered = true;
  party.user = std::move(name);
}

void TRequest::SetPassword(bool proxy, std::string password) {
  TParty& party = proxy ? FProxy : FServer;
  party.answered = true;
  party.password = std::move(password);
}

// Each send answers the schemes the party's last challenge offered.
void TRequest::NoteAuthMethods() {
  const int status = FHead.Status();
  if (status == 401) {
    FServer.offered = ReadChallenges(FHead);
  } else if (status == 407) {
    FProxy.offered = ReadChallenges(FHead);
  }
}

bool TRequest::Challenge(TAuthChallenge& challenge) const {
  const int status = FHeadersIn ? FHead.Status() : 0;
  if (status != 401 && status != 407) {
    return false;
  }
  const TChallenges offered = ReadChallenges(FHead);
  const TParty& party = status == 407 ? FProxy : FServer;
  challenge = TAuthChallenge{};
  challenge.proxy = status == 407;
  challenge.host = FHost;
  challenge.port = FPort;
  if (challenge.proxy) {
    if (const auto proxy = ProxyFor(*FSession, (FFlags & INTERNET_FLAG_SECURE) != 0)) {
      challenge.host = proxy->host;
      challenge.port = proxy->port;
    }
  }
  challenge.schemes = offered.schemes;
  challenge.realm = offered.realm;
  challenge.status = status;
  challenge.reason = FHead.Reason();
  challenge.refused = ((party.tried | party.ownTried) & offered.known) != 0;
  return true;
}

// Which schemes curl answers for one party, with which credentials. Before the party has asked,
// curl waits for its challenge and then picks. NTLM is the layer's own (AnswerNtlm, and
// OpenOwnTunnel for a proxy's tunnel), and so is Negotiate with a password (AnswerNegotiate);
// curl sends Negotiate only with the user's Kerberos ticket.
void TRequest::Configure(TParty& party, bool proxy) {
  CURL* e = FEasy.get();
  party.tried = 0;
  party.ticket = false;
  const std::string& user = UserOf(party);
  long methods = 0;
  bool ticket = false;
  if (!user.empty()) {
    methods = party.offered.known ? party.offered.known
                                  : (CURLAUTH_BASIC | CURLAUTH_DIGEST | CURLAUTH_NTLM);
    methods &= ~(CURLAUTH_NEGOTIATE | CURLAUTH_NTLM);
  }
  if (party.ticketTried && (party.offered.known & CURLAUTH_NEGOTIATE) &&
      (user.empty() || methods == 0)) {
    methods = CURLAUTH_NEGOTIATE;
    ticket = true;
  }
  if (methods == 0) {
    return;
  }
  if (ticket) {
    party.ticket = true;
  } else {
    party.tried = methods;
  }
  if (proxy) {
    if (ticket) {
      curl_easy_setopt(e, CURLOPT_PROXYUSERPWD, ":");
    } else {
      curl_easy_setopt(e, CURLOPT_PROXYUSERNAME, user.c_str());
      curl_easy_setopt(e, CURLOPT_PROXYPASSWORD, PasswordOf(party).c_str());
    }
    curl_easy_setopt(e, CURLOPT_PROXYAUTH, methods);
  } else {
    if (ticket) {
      curl_easy_setopt(e, CURLOPT_USERPWD, ":");
    } else {
      curl_easy_setopt(e, CURLOPT_USERNAME, user.c_str());
      curl_easy_setopt(e, CURLOPT_PASSWORD, PasswordOf(party).c_str());
    }
    curl_easy_setopt(e, CURLOPT_HTTPAUTH, methods);
  }
}

// Challenges the layer answers by itself before the caller hears of them, as the Windows
// client does: Negotiate with the user's Kerberos ticket (so no dialog when there is one), NTLM
// and Negotiate with credentials, and a kept answer for a party that asked before. Only a
// one-call body can go again; each is tried once per send. True when something went again
// (its reply, or its failure, is the request's now).
bool TRequest::AnswerItself() {
  const int status = FHeadersIn ? FHead.Status() : 0;
  if (status != 401 && status != 407) {
    return false;
  }
  const bool proxy = status == 407;
  TParty& party = proxy ? FProxy : FServer;
  party.offered = ReadChallenges(FHead);
  UseKeptAnswer(party, proxy);
  for (;;) {
    const Own due = Due(party, proxy);
    switch (due) {
    case Own::None:
      if (party.storeTried) {
        // The kept answer was refused: it is not offered again, and the dialog asks.
        DropKeptAnswer(KeyOf(proxy));
        party.answered = party.fromStore = party.storeTried = false;
        party.user.clear();
        party.password.clear();
      }
      return false;
    case Own::Ticket:
      party.ticketTried = true;
      Drain();
      Run();
      return true;
    case Own::Ntlm:
      party.ntlmTried = true;
      AnswerNtlm(proxy);
      return true;
    case Own::Tunnel:
    case Own::TunnelNegotiate: {
      const bool negotiate = due == Own::TunnelNegotiate;
      (negotiate ? party.negotiateTried : party.ntlmTried) = true;
      FOwnTunnel = true;
      FTunnelNegotiate = negotiate;
      Drain();
      Run();
      return true;
    }
    case Own::Kept:
      party.fromStore = false;
      Drain();
      Run();
      return true;
    case Own::Negotiate:
      party.negotiateTried = true;
      if (const auto ran = AnswerNegotiate(proxy)) {
        return *ran;
      }
      break; // no credential for the password: the next way, if any
    }
  }
}

TRequest::Own TRequest::Due(const TParty& party, bool proxy) const {
  const long offered = party.offered.known;
  const std::string& user = UserOf(party);
  if (!user.empty()) {
    // "DOMAIN\user" is a Windows account name: NTLM first where the party offers it.
    const bool ntlm = (offered & CURLAUTH_NTLM) && !party.ntlmTried;
    const bool windowsName = user.find('\\') != std::string::npos;
    // A proxy's tunnel (https) is the layer's own connection when it answers by itself.
    const bool secure = (FFlags & INTERNET_FLAG_SECURE) != 0;
    if ((offered & CURLAUTH_NEGOTIATE) && !party.negotiateTried && !(windowsName && ntlm)) {
      return proxy && secure ? Own::TunnelNegotiate : Own::Negotiate;
    }
    if (ntlm) {
      return proxy && secure ? Own::Tunnel : Own::Ntlm;
    }
    if (party.fromStore && (offered & (CURLAUTH_BASIC | CURLAUTH_DIGEST))) {
      return Own::Kept;
    }
  }
  // The user's ticket, when no password can answer: none given, or only Negotiate asked for
  // and the password is the connection's, which may be meant for the other party.
  const bool passwordUsable =
      !user.empty() && (party.answered || (offered & ~CURLAUTH_NEGOTIATE) != 0);
  // Without a ticket the request would only go once more unanswered.
  if ((offered & CURLAUTH_NEGOTIATE) && !passwordUsable && !party.ticketTried &&
      HoldsKerberosTicket()) {
    return Own::Ticket;
  }
  return Own::None;
}

// NTLM: NEGOTIATE on a request without its body, the party's CHALLENGE in its 401 or 407, then
// AUTHENTICATE with the body, all on one connection (server and proxy bind it there).
bool TRequest::AnswerNtlm(bool proxy) {
  const TParty& party = proxy ? FProxy : FServer;
  const std::string header = proxy ? "Proxy-Authorization: NTLM " : "Authorization: NTLM ";
  Drain();
  if (!Run({proxy, CURLAUTH_NTLM, header + NtlmNegotiateMessage()}, true)) {
    return false;
  }
  std::optional<TNtlmChallenge> challenge;
  if (FHead.Status() == (proxy ? 407 : 401)) {
    if (const auto data = ReadChallenges(FHead).Data("NTLM")) {
      challenge = ParseNtlmChallenge(*data);
    }
  }
  Drain();
  if (!challenge) {
    return Run(); // the party took the request without NTLM after all, or refused it
  }
  const std::string message =
      NtlmAnswer(*challenge, TNtlmIdentity{UserOf(party), PasswordOf(party)});
  // The connection is authenticated, or holds a refused handshake that a new one must not
  // meet: either way it is not used again.
  return Run({proxy, CURLAUTH_NTLM, header + message}, false, true);
}

// Negotiate towards the server or the proxy with a Kerberos credential for the password, for
// the service "HTTP" on that party's host. Nothing when no credential could be had (the next way
// is tried); true once a request went (or was stopped).
std::optional<bool> TRequest::AnswerNegotiate(bool proxy) {
  TParty& party = proxy ? FProxy : FServer;
  party.ownTried |= CURLAUTH_NEGOTIATE;
  std::string host = FHost;
  if (proxy) {
    const auto address = ProxyFor(*FSession, (FFlags & INTERNET_FLAG_SECURE) != 0);
    if (!address) {
      return std::nullopt;
    }
    host = address->host;
  }
  const TNegotiateToken made =
      NegotiateWithPassword(UserOf(party), PasswordOf(party), host, &UserStopped);
  if (made.cancelled) {
    Stop();
    FHeadersIn = false;
    FDone = true;
    FOwnFailure = ERROR_INTERNET_OPERATION_CANCELLED;
    return true;
  }
  if (!made.token) {
    return std::nullopt;
  }
  Drain();
  const std::string header =
      proxy ? "Proxy-Authorization: Negotiate " : "Authorization: Negotiate ";
  Run({proxy, CURLAUTH_NEGOTIATE, header + *made.token});
  return true;
}

TPartyKey TRequest::KeyOf(bool proxy) const {
  TPartyKey key{proxy, FHost, FPort, (proxy ? FProxy : FServer).offered.realm};
  if (proxy) {
    if (const auto address = ProxyFor(*FSession, (FFlags & INTERNET_FLAG_SECURE) != 0)) {
      key.host = address->host;
      key.port = address->port;
    }
  }
  return key;
}

void TRequest::UseKeptAnswer(TParty& party, bool proxy) {
  if (party.answered) {
    return;
  }
  if (auto kept = FindKeptAnswer(KeyOf(proxy))) {
    party.answered = party.fromStore = party.storeTried = true;
    party.user = std::move(kept->user);
    party.password = std::move(kept->password);
  }
}

// An answer the party took is kept for its next challenge in this process.
void TRequest::KeepAcceptedAnswers() {
  if (!FHeadersIn) {
    return;
  }
  for (const bool proxy : {false, true}) {
    const TParty& party = proxy ? FProxy : FServer;
    const bool asksAgain = FHead.Status() == (proxy ? 407 : 401);
    if (party.answered && !asksAgain && (party.tried | party.ownTried) != 0) {
      KeepAnswer(KeyOf(proxy), TKeptAnswer{party.user, party.password});
    }
  }
}

void TRequest::ResetTries() {
  for (TParty* party : {&FServer, &FProxy}) {
    party->ticketTried = party->ntlmTried = party->negotiateTried = false;
    party->fromStore = party->storeTried = false;
    party->ownTried = 0;
  }
}

curl_socket_t TRequest::OnOpenSocket(void* self, curlsocktype purpose, curl_sockaddr*) {
  auto* r = static_cast<TRequest*>(self);
  if (purpose != CURLSOCKTYPE_IPCXN) {
    return CURL_SOCKET_BAD;
  }
  // Nothing may unwind through curl: a tunnel that could not be made for want of memory is a
  // connection that failed.
  try {
    return r->OpenOwnTunnel();
  } catch (...) {
    r->FOwnFailure = ERROR_NOT_ENOUGH_MEMORY;
    return CURL_SOCKET_BAD;
  }
}

int TRequest::OnSocketOption(void*, curl_socket_t, curlsocktype) {
  return CURL_SOCKOPT_ALREADY_CONNECTED;
}

// Called by curl when it needs a new connection to the server: the tunnel through the proxy,
// with the proxy's handshake done. A refusal becomes the request's reply, as curl's own
// CONNECT would have it.
curl_socket_t TRequest::OpenOwnTunnel() {
  const auto proxy = ProxyFor(*FSession, true);
  if (!proxy) {
    FOwnFailure = ERROR_INTERNET_CANNOT_CONNECT;
    return CURL_SOCKET_BAD;
  }
  const bool literal = FHost.find(':') != std::string::npos;
  TTunnelRequest ask{(literal ? "[" + FHost + "]" : FHost) + ":" + std::to_string(FPort),
                     FSession->agent, UserOf(FProxy), PasswordOf(FProxy), FProxy.offered.known};
  const TTalkLimits limits{FSession->connectTimeoutMs, FSession->sendTimeoutMs,
                           FSession->receiveTimeoutMs, &UserStopped};
  if (FTunnelNegotiate) {
    // Tried even when the KDC refuses the password: the dialog then says it was refused.
    FProxy.ownTried |= CURLAUTH_NEGOTIATE;
    const TNegotiateToken made =
        NegotiateWithPassword(UserOf(FProxy), PasswordOf(FProxy), proxy->host, &UserStopped);
    if (made.cancelled) {
      FOwnFailure = ERROR_INTERNET_OPERATION_CANCELLED;
      return CURL_SOCKET_BAD;
    }
    ask.negotiate = made.token.value_or(""); // none: the tunnel asks as the proxy allows
  }
  TTunnel tunnel = OpenTunnel(*proxy, ask, limits);
  FProxy.ownTried |= tunnel.tried;
  Progress();
  if (tunnel.socket) {
    return tunnel.socket.Release();
  }
  if (tunnel.refusal) {
    FHead = std::move(*tunnel.refusal);
    FHeadersIn = true;
    FTunnelRefused = true;
  } else {
    FOwnFailure = tunnel.failure;
  }
  return CURL_SOCKET_BAD;
}

} // namespace opc::inet::detail

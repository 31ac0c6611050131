#pragma once

#include "transport/inet/Challenge.h"
#include "transport/inet/CurlOwners.h"
#include "transport/inet/InetHooks.h"
#include "transport/inet/KeptAnswers.h"
#include "transport/inet/ResponseHead.h"
#include "transport/inet/Session.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

struct x509_store_ctx_st;

namespace opc::inet::detail {

// A header the layer answers a challenge with itself, and the scheme it stands for.
struct TOwnAnswer {
  bool proxy = false;
  long scheme = 0;
  std::string line; // "Authorization: NTLM ..." or "Proxy-Authorization: ..."
};

// True when the user has asked to stop the wait (the wait hook).
bool UserStopped();

// One HTTP request on a connection, driven through the session's curl multi handle. Both bodies
// stream: the upload is pulled piece by piece through a paused read callback, the reply is handed
// out as it arrives through a paused write callback, so the layer holds at most about a megabyte
// of either whatever the body's size.
class TRequest final : public THandle {
public:
  static constexpr Kind kKind = Kind::Request;
  TRequest(const TConnection& connection, std::string url, DWORD flags);
  ~TRequest() override;

  void AddHeader(std::string line);
  // An answer from the dialog, for the server or for the proxy only.
  void SetUserName(bool proxy, std::string name);
  void SetPassword(bool proxy, std::string password);
  bool Challenge(TAuthChallenge& challenge) const;

  BOOL Send(const void* body, DWORD length);
  BOOL BeginUpload(DWORD total);
  BOOL Write(const void* data, DWORD length);
  BOOL EndUpload();
  BOOL QueryDataAvailable(DWORD& available);
  BOOL Read(void* buffer, DWORD count, DWORD& read);
  BOOL QueryInfo(DWORD level, void* buffer, DWORD* length, DWORD* index);

  bool HeadersIn() const noexcept { return FHeadersIn; }
  int Status() const noexcept { return FHead.Status(); }

private:
  enum class Upload { None, Memory, Pieces };

  // What the layer knows of one party that may ask for credentials: the server or the proxy.
  struct TParty {
    bool answered = false;   // the dialog (or a kept answer) gave user and password
    bool fromStore = false;  // ... and it was a kept answer, not yet sent in this send
    bool storeTried = false; // a kept answer went to it in this send
    std::string user, password;
    TChallenges offered;         // what its last challenge offered
    long tried = 0;              // CURLAUTH_* bits the user's credentials answer it with now
    long ownTried = 0;           // schemes the layer answered it with itself in this send
    bool ticket = false;         // Negotiate with the user's ticket answers it now
    bool ticketTried = false;    // Negotiate with the user's ticket went in this send
    bool ntlmTried = false;      // the layer's own NTLM handshake went in this send
    bool negotiateTried = false; // Negotiate with the password went in this send
  };
  // The handshakes the layer runs itself when a party's last challenge calls for one.
  enum class Own { None, Ticket, Ntlm, Tunnel, TunnelNegotiate, Negotiate, Kept };

  // probe: the request goes without its body (the first leg of an NTLM handshake).
  bool Start(Upload mode, std::uint64_t total, const TOwnAnswer& own = {}, bool probe = false,
             bool lastOnConnection = false);
  bool Run(const TOwnAnswer& own = {}, bool probe = false, bool lastOnConnection = false);
  bool AnswerItself();
  Own Due(const TParty& party, bool proxy) const;
  bool AnswerNtlm(bool proxy);
  std::optional<bool> AnswerNegotiate(bool proxy);
  void UseKeptAnswer(TParty& party, bool proxy);
  void KeepAcceptedAnswers();
  TPartyKey KeyOf(bool proxy) const;
  void ResetTries();
  void Drain();
  void Configure(TParty& party, bool proxy);
  bool Failed() const noexcept { return FDone && (FResult != CURLE_OK || FOwnFailure != 0); }
  const std::string& UserOf(const TParty& party) const noexcept {
    return party.answered ? party.user : FConnectionUser;
  }
  const std::string& PasswordOf(const TParty& party) const noexcept {
    return party.answered ? party.password : FConnectionPassword;
  }
  void NoteAuthMethods();
  void Stop() noexcept;
  // Drives the transfer until ready() holds, the transfer ends or no progress is made for the
  // timeout.
  void Pump(const std::function<bool()>& ready);
  DWORD FailureCode() const;
  void Progress() { FLastProgress = std::chrono::steady_clock::now(); }
  std::size_t Pending() const noexcept { return FReceived.size() - FReceivedTaken; }
  void Resume(int direction);

  static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* self);
  static std::size_t OnWrite(char* data, std::size_t size, std::size_t count, void* self);
  static std::size_t OnRead(char* data, std::size_t size, std::size_t count, void* self);
  static int OnSeek(void* self, curl_off_t offset, int origin);
  static int OnProgress(void* self, curl_off_t, curl_off_t dlnow, curl_off_t, curl_off_t ulnow);
  static CURLcode OnSslContext(CURL*, void* sslContext, void* self);
  static int OnVerify(int preverified, ::x509_store_ctx_st* store);
  static curl_socket_t OnOpenSocket(void* self, curlsocktype purpose, curl_sockaddr* address);
  static int OnSocketOption(void* self, curl_socket_t socket, curlsocktype purpose);
  curl_socket_t OpenOwnTunnel();

  std::shared_ptr<TSessionState> FSession;
  std::string FUrl;
  DWORD FFlags;
  std::string FHost;
  INTERNET_PORT FPort = 0;
  std::string FConnectionUser, FConnectionPassword;
  TParty FServer, FProxy;
  bool FTunnelUp = false; // the proxy's reply to CONNECT has been passed over
  // https through a proxy that wants NTLM: the layer opens the tunnel itself (OpenOwnTunnel)
  // and curl talks to the server over it as if directly.
  bool FOwnTunnel = false;
  bool FTunnelNegotiate = false; // the own tunnel answers the proxy with Negotiate
  bool FTunnelRefused = false;   // the proxy refused the layer's tunnel; its reply is the head
  bool FDiscard = false;         // a reply being drained so that its connection can go on
  std::vector<std::string> FHeaderLines;

  CurlEasy FEasy;
  CurlSlist FHeaders;
  CurlSlist FResolve; // the server's name as curl must not look it up behind the proxy
  bool FAdded = false;
  bool FDone = false;
  CURLcode FResult = CURLE_OK;
  DWORD FOwnFailure = 0;         // a failure the layer found itself (a timeout)
  DWORD FCertificateFailure = 0; // what the certificate check refused, if it did
  int FPaused = 0;               // CURLPAUSE_RECV / CURLPAUSE_SEND bits set by the callbacks

  Upload FUpload = Upload::None;
  std::vector<std::uint8_t> FBody; // a one-call body, or the piece being written
  std::size_t FBodyTaken = 0;
  std::uint64_t FUploadTotal = 0;
  std::uint64_t FUploaded = 0; // bytes curl has taken
  std::uint64_t FWritten = 0;  // bytes the caller has handed in

  TResponseHead FHead;
  bool FHeadersIn = false;
  std::vector<std::uint8_t> FReceived;
  std::size_t FReceivedTaken = 0;

  std::chrono::steady_clock::time_point FLastProgress;
  curl_off_t FSeenDown = 0, FSeenUp = 0;
};

} // namespace opc::inet::detail

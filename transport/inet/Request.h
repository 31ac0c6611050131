#pragma once

#include "transport/inet/Challenge.h"
#include "transport/inet/CurlOwners.h"
#include "transport/inet/InetHooks.h"
#include "transport/inet/ResponseHead.h"
#include "transport/inet/Session.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct x509_store_ctx_st;

namespace opc::inet::detail {

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
    bool answered = false; // the dialog gave user and password for this party
    std::string user, password;
    TChallenges offered;      // what its last challenge offered
    long tried = 0;           // CURLAUTH_* bits the user's credentials answer it with now
    bool ticket = false;      // Negotiate with the user's ticket answers it now
    bool ticketTried = false; // Negotiate with the user's ticket went in this send
  };

  // probe: the request goes without its body (the first leg of an NTLM handshake).
  bool Start(Upload mode, std::uint64_t total, const std::string& authorization = {},
             bool probe = false, bool lastOnConnection = false);
  bool Run(const std::string& authorization = {}, bool probe = false,
           bool lastOnConnection = false);
  bool AnswerItself();
  bool AnswerNtlm();
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

  std::shared_ptr<TSessionState> FSession;
  std::string FUrl;
  DWORD FFlags;
  std::string FHost;
  INTERNET_PORT FPort = 0;
  std::string FConnectionUser, FConnectionPassword;
  TParty FServer, FProxy;
  bool FNtlmTried = false; // the layer's own NTLM handshake ran in this send
  bool FTunnelUp = false;  // the proxy's reply to CONNECT has been passed over
  bool FDiscard = false;   // a reply being drained so that its connection can go on
  std::vector<std::string> FHeaderLines;

  CurlEasy FEasy;
  CurlSlist FHeaders;
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

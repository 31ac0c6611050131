#include "transport/inet/Request.h"

#include "transport/inet/ExchangeRecording.h"
#include "transport/inet/InetHooks.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <openssl/ssl.h>
#include <openssl/x509.h>

namespace opc::inet {

namespace {

std::string& CaFile() {
  static std::string path;
  return path;
}

// How much of the reply the layer keeps before it stops reading from the socket.
constexpr std::size_t kMaxPending = 1 << 20;
constexpr long kReceiveBufferSize = 256 * 1024;

bool StartsWithWord(std::string_view value, std::string_view word) {
  if (value.size() < word.size()) {
    return false;
  }
  for (std::size_t i = 0; i < word.size(); ++i) {
    if ((value[i] | 0x20) != (word[i] | 0x20)) {
      return false;
    }
  }
  return value.size() == word.size() || value[word.size()] == ' ';
}

// "Name: value" or "Name;" (an empty value, as curl writes it) of the given name.
bool HeaderNameIs(std::string_view line, std::string_view name) {
  return line.size() > name.size() && (line[name.size()] == ':' || line[name.size()] == ';') &&
         StartsWithWord(line.substr(0, name.size()), name);
}

TWaitHook& WaitHook() {
  static TWaitHook hook;
  return hook;
}

bool IsAddress(const std::string& host) {
  unsigned char address[sizeof(in6_addr)];
  return inet_pton(AF_INET, host.c_str(), address) == 1 ||
         inet_pton(AF_INET6, host.c_str(), address) == 1;
}

} // namespace

void SetWaitHook(TWaitHook hook) {
  WaitHook() = std::move(hook);
}

void SetCertificateAuthorityFile(std::string path) {
  CaFile() = std::move(path);
}

namespace detail {

bool UserStopped() {
  return WaitHook() && WaitHook()();
}

TRequest::TRequest(const TConnection& connection, std::string url, DWORD flags)
    : THandle(kKind), FSession(connection.session), FUrl(std::move(url)), FFlags(flags),
      FHost(connection.host), FPort(connection.port), FConnectionUser(connection.userName),
      FConnectionPassword(connection.password) {}

TRequest::~TRequest() {
  Stop();
}

void TRequest::AddHeader(std::string line) {
  FHeaderLines.push_back(std::move(line));
}

void TRequest::Stop() noexcept {
  if (FAdded) {
    curl_multi_remove_handle(FSession->multi.get(), FEasy.get());
    FAdded = false;
  }
  EndRecording(FEasy.get());
  FEasy.reset();
  FHeaders.reset();
}

bool TRequest::Start(Upload mode, std::uint64_t total, const TOwnAnswer& own, bool probe,
                     bool lastOnConnection) {
  NoteAuthMethods();
  Stop();
  FEasy.reset(curl_easy_init());
  if (!FEasy) {
    return false;
  }
  FUpload = mode;
  FUploadTotal = total;
  FUploaded = 0;
  FDone = false;
  FResult = CURLE_OK;
  FOwnFailure = 0;
  FCertificateFailure = 0;
  FPaused = 0;
  FTunnelUp = false;
  FTunnelRefused = false;
  FHead = TResponseHead();
  FHeadersIn = false;
  FReceived.clear();
  FReceivedTaken = 0;
  FSeenDown = FSeenUp = 0;

  // The client sends only what the caller adds: no Accept, no Expect: 100-continue, and no
  // content type of its own.
  curl_slist* list = nullptr;
  bool contentType = false;
  for (const std::string& line : FHeaderLines) {
    list = curl_slist_append(list, line.c_str());
    contentType = contentType || HeaderNameIs(line, "Content-Type");
  }
  list = curl_slist_append(list, "Accept:");
  list = curl_slist_append(list, "Expect:");
  if (!contentType) {
    list = curl_slist_append(list, "Content-Type:");
  }
  if (!own.line.empty()) {
    list = curl_slist_append(list, own.line.c_str());
  }
  FHeaders.reset(list);

  CURL* e = FEasy.get();
  curl_easy_setopt(e, CURLOPT_URL, FUrl.c_str());
  curl_easy_setopt(e, CURLOPT_POST, 1L);
  curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(probe ? 0 : total));
  if (probe) {
    curl_easy_setopt(e, CURLOPT_POSTFIELDS, "");
  } else if (mode == Upload::Memory) {
    // The body is the request's own copy, so it outlives a reply that comes before it is sent.
    curl_easy_setopt(e, CURLOPT_POSTFIELDS,
                     FBody.empty() ? "" : reinterpret_cast<const char*>(FBody.data()));
  } else {
    curl_easy_setopt(e, CURLOPT_READFUNCTION, &TRequest::OnRead);
    curl_easy_setopt(e, CURLOPT_READDATA, this);
    curl_easy_setopt(e, CURLOPT_SEEKFUNCTION, &TRequest::OnSeek);
    curl_easy_setopt(e, CURLOPT_SEEKDATA, this);
  }
  curl_easy_setopt(e, CURLOPT_HTTPHEADER, FHeaders.get());
  if (!FSession->agent.empty()) {
    curl_easy_setopt(e, CURLOPT_USERAGENT, FSession->agent.c_str());
  }
  curl_easy_setopt(e, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &TRequest::OnHeader);
  curl_easy_setopt(e, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &TRequest::OnWrite);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, &TRequest::OnProgress);
  curl_easy_setopt(e, CURLOPT_XFERINFODATA, this);
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(FSession->connectTimeoutMs));
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_PRIVATE, this);
  curl_easy_setopt(e, CURLOPT_BUFFERSIZE, kReceiveBufferSize);
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
  if (FOwnTunnel) {
    // The layer opens the tunnel through the proxy itself (OpenOwnTunnel) and curl talks to the
    // server over it as if directly: TLS checks and names the server, and the server's name is
    // not looked up here, where only the proxy may know it.
    curl_easy_setopt(e, CURLOPT_PROXY, "");
    curl_easy_setopt(e, CURLOPT_OPENSOCKETFUNCTION, &TRequest::OnOpenSocket);
    curl_easy_setopt(e, CURLOPT_OPENSOCKETDATA, this);
    curl_easy_setopt(e, CURLOPT_SOCKOPTFUNCTION, &TRequest::OnSocketOption);
    curl_easy_setopt(e, CURLOPT_SOCKOPTDATA, this);
    FResolve.reset();
    if (!IsAddress(FHost)) {
      FResolve.reset(
          curl_slist_append(nullptr, (FHost + ":" + std::to_string(FPort) + ":127.0.0.1").c_str()));
      curl_easy_setopt(e, CURLOPT_RESOLVE, FResolve.get());
    }
  } else if (FSession->accessType == INTERNET_OPEN_TYPE_PROXY && !FSession->proxy.empty()) {
    curl_easy_setopt(e, CURLOPT_PROXY, FSession->proxy.c_str());
    curl_easy_setopt(e, CURLOPT_PROXYPORT, 80L); // a named proxy without a port listens on 80
  } else if (FSession->accessType == INTERNET_OPEN_TYPE_DIRECT) {
    curl_easy_setopt(e, CURLOPT_PROXY, "");
  }

  curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST,
                   (FFlags & INTERNET_FLAG_IGNORE_CERT_CN_INVALID) ? 0L : 2L);
  curl_easy_setopt(e, CURLOPT_SSL_CTX_FUNCTION, &TRequest::OnSslContext);
  curl_easy_setopt(e, CURLOPT_SSL_CTX_DATA, this);
  if (!CaFile().empty()) {
    curl_easy_setopt(e, CURLOPT_CAINFO, CaFile().c_str());
  }

  // A party the layer answers itself gets nothing from curl on this leg.
  FServer.tried = FProxy.tried = 0;
  FServer.ticket = FProxy.ticket = false;
  if (!own.scheme || own.proxy) {
    Configure(FServer, false);
  }
  if ((!own.scheme || !own.proxy) && !FOwnTunnel) {
    Configure(FProxy, true);
  }
  if (lastOnConnection) {
    curl_easy_setopt(e, CURLOPT_FORBID_REUSE, 1L);
  }
  if (own.scheme) {
    (own.proxy ? FProxy : FServer).ownTried |= own.scheme;
  }
  BeginRecording(e);
  if (curl_multi_add_handle(FSession->multi.get(), e) != CURLM_OK) {
    FEasy.reset();
    return false;
  }
  FAdded = true;
  Progress();
  return true;
}

bool TRequest::Run(const TOwnAnswer& own, bool probe, bool lastOnConnection) {
  if (!Start(Upload::Memory, FBody.size(), own, probe, lastOnConnection)) {
    return false;
  }
  Pump([this] { return FHeadersIn; });
  return FHeadersIn;
}

// Reads the rest of a reply that goes unused, so that its connection stays open for the next
// leg of a handshake bound to it.
void TRequest::Drain() {
  if (FEasy && FAdded && !FDone) {
    FDiscard = true;
    Resume(CURLPAUSE_RECV);
    Pump([] { return false; });
    FDiscard = false;
  }
  FReceived.clear();
  FReceivedTaken = 0;
}

void TRequest::Pump(const std::function<bool()>& ready) {
  CURLM* multi = FSession->multi.get();
  while (!ready() && !FDone) {
    int running = 0;
    if (curl_multi_perform(multi, &running) != CURLM_OK) {
      FOwnFailure = ERROR_INTERNET_INTERNAL_ERROR;
      FDone = true;
      break;
    }
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
      if (message->msg != CURLMSG_DONE) {
        continue;
      }
      TRequest* owner = nullptr;
      curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &owner);
      if (owner) {
        owner->FDone = true;
        owner->FResult = message->data.result;
        // A refused tunnel ends curl's transfer with an error; the proxy's reply is the answer.
        long connectCode = 0;
        curl_easy_getinfo(message->easy_handle, CURLINFO_HTTP_CONNECTCODE, &connectCode);
        if (owner->FTunnelRefused ||
            (!owner->FHeadersIn && !owner->FTunnelUp && connectCode == 407 &&
             owner->FHead.Status() == 407 && owner->FHead.Ended())) {
          owner->FResult = CURLE_OK;
        }
        owner->FHeadersIn = owner->FHeadersIn || owner->FResult == CURLE_OK;
      }
    }
    if (ready() || FDone) {
      break;
    }
    using namespace std::chrono;
    const bool sending = FUpload == Upload::Pieces && FUploaded < FUploadTotal;
    auto limit = milliseconds(sending ? FSession->sendTimeoutMs : FSession->receiveTimeoutMs);
    if (FSeenDown == 0 && FSeenUp == 0 && !FHeadersIn) {
      limit += milliseconds(FSession->connectTimeoutMs);
    }
    if (steady_clock::now() - FLastProgress > limit) {
      FOwnFailure = ERROR_INTERNET_TIMEOUT;
      curl_multi_remove_handle(multi, FEasy.get());
      FAdded = false;
      FDone = true;
      break;
    }
    if (WaitHook() && WaitHook()()) {
      FOwnFailure = ERROR_INTERNET_OPERATION_CANCELLED;
      curl_multi_remove_handle(multi, FEasy.get());
      FAdded = false;
      FDone = true;
      break;
    }
    curl_multi_poll(multi, nullptr, 0, 100, nullptr);
  }
}

DWORD TRequest::FailureCode() const {
  if (FOwnFailure) {
    return FOwnFailure;
  }
  long osErrno = 0;
  if (FEasy) {
    curl_easy_getinfo(FEasy.get(), CURLINFO_OS_ERRNO, &osErrno);
  }
  switch (FResult) {
  case CURLE_OK:
    return ERROR_INTERNET_CONNECTION_ABORTED; // ended without the reply it was waiting for
  case CURLE_COULDNT_RESOLVE_HOST:
  case CURLE_COULDNT_RESOLVE_PROXY:
    return ERROR_INTERNET_NAME_NOT_RESOLVED;
  case CURLE_COULDNT_CONNECT:
    return ERROR_INTERNET_CANNOT_CONNECT;
  case CURLE_OPERATION_TIMEDOUT:
    return ERROR_INTERNET_TIMEOUT;
  case CURLE_PEER_FAILED_VERIFICATION:
    // The chain was accepted, so what failed is the host name check.
    return FCertificateFailure ? FCertificateFailure : ERROR_INTERNET_SEC_CERT_CN_INVALID;
  case CURLE_SSL_CONNECT_ERROR:
  case CURLE_SSL_CERTPROBLEM:
  case CURLE_SSL_CIPHER:
  case CURLE_SSL_ISSUER_ERROR:
  case CURLE_SSL_CACERT_BADFILE:
    return FCertificateFailure ? FCertificateFailure : ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
  case CURLE_WEIRD_SERVER_REPLY:
  case CURLE_UNSUPPORTED_PROTOCOL:
  case CURLE_GOT_NOTHING:
  case CURLE_BAD_CONTENT_ENCODING:
  case CURLE_HTTP2:
    return ERROR_HTTP_INVALID_SERVER_RESPONSE;
  case CURLE_PARTIAL_FILE:
  case CURLE_RECV_ERROR:
  case CURLE_SEND_ERROR:
  case CURLE_SEND_FAIL_REWIND:
    return osErrno == ECONNRESET ? ERROR_INTERNET_CONNECTION_RESET
                                 : ERROR_INTERNET_CONNECTION_ABORTED;
  case CURLE_OUT_OF_MEMORY:
    // Before the reply's head is in, this is the client refusing a header too large to hold
    // (curl caps a header line), which says what the server sent, not what this process has.
    return FHeadersIn ? ERROR_NOT_ENOUGH_MEMORY : ERROR_HTTP_INVALID_SERVER_RESPONSE;
  case CURLE_URL_MALFORMAT:
    return ERROR_INTERNET_INVALID_URL;
  default:
    return ERROR_INTERNET_INTERNAL_ERROR;
  }
}

void TRequest::Resume(int direction) {
  if (!(FPaused & direction) || !FEasy) {
    return;
  }
  FPaused &= ~direction;
  Progress();
  curl_easy_pause(FEasy.get(), FPaused);
}

BOOL TRequest::Send(const void* body, DWORD length) {
  const auto* bytes = static_cast<const std::uint8_t*>(body);
  FBody.assign(bytes, bytes + (bytes ? length : 0));
  FBodyTaken = 0;
  FWritten = FBody.size();
  ResetTries();
  // A challenge already in (the dialog has just answered it) gets its handshake first.
  if (!AnswerItself()) {
    if (!Start(Upload::Memory, FBody.size())) {
      return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
    Pump([this] { return FHeadersIn; });
  }
  while (FHeadersIn && AnswerItself()) {
  }
  KeepAcceptedAnswers();
  return FHeadersIn ? Succeed() : Fail(FailureCode());
}

BOOL TRequest::BeginUpload(DWORD total) {
  FBody.clear();
  FBodyTaken = 0;
  FWritten = 0;
  ResetTries();
  if (!Start(Upload::Pieces, total)) {
    return Fail(ERROR_NOT_ENOUGH_MEMORY);
  }
  // Connected and the request head sent: curl is waiting for the first piece.
  Pump([this] { return (FPaused & CURLPAUSE_SEND) != 0 || FHeadersIn; });
  return Failed() ? Fail(FailureCode()) : Succeed();
}

BOOL TRequest::Write(const void* data, DWORD length) {
  // A transfer that already failed (the server reset the connection, the upload stalled past its
  // timeout) reports that failure, not the state it left the handle in.
  if (Failed() && !FHeadersIn) {
    return Fail(FailureCode());
  }
  if (FUpload != Upload::Pieces || !FAdded || FWritten + length > FUploadTotal) {
    return Fail(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
  }
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  FBody.assign(bytes, bytes + length);
  FBodyTaken = 0;
  FWritten += length;
  Resume(CURLPAUSE_SEND);
  Pump([this] { return FBodyTaken == FBody.size() || FHeadersIn; });
  if (Failed() && !FHeadersIn) {
    return Fail(FailureCode());
  }
  return Succeed(); // a server that answers before taking the whole body is heard at the end
}

BOOL TRequest::EndUpload() {
  if (FUpload != Upload::Pieces) {
    return Fail(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
  }
  if (Failed() && !FHeadersIn) {
    return Fail(FailureCode());
  }
  if (FWritten < FUploadTotal && !FHeadersIn) {
    Stop(); // fewer bytes than announced can never make a request
    return Fail(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
  }
  Resume(CURLPAUSE_SEND);
  Pump([this] { return FHeadersIn; });
  KeepAcceptedAnswers();
  return FHeadersIn ? Succeed() : Fail(FailureCode());
}

BOOL TRequest::QueryDataAvailable(DWORD& available) {
  if (!FHeadersIn) {
    return Fail(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
  }
  if (Pending() == 0 && !FDone) {
    Resume(CURLPAUSE_RECV);
    Pump([this] { return Pending() > 0; });
  }
  if (Pending() == 0 && Failed()) {
    return Fail(FailureCode());
  }
  available = static_cast<DWORD>(std::min<std::size_t>(Pending(), 0xFFFFFFFFu));
  return Succeed();
}

BOOL TRequest::Read(void* buffer, DWORD count, DWORD& read) {
  read = 0;
  DWORD available = 0;
  if (Pending() == 0 && !QueryDataAvailable(available)) {
    return FALSE;
  }
  const std::size_t n = std::min<std::size_t>(count, Pending());
  std::memcpy(buffer, FReceived.data() + FReceivedTaken, n);
  FReceivedTaken += n;
  if (FReceivedTaken == FReceived.size()) {
    FReceived.clear();
    FReceivedTaken = 0;
  }
  read = static_cast<DWORD>(n);
  return Succeed();
}

BOOL TRequest::QueryInfo(DWORD level, void* buffer, DWORD* length, DWORD* index) {
  if (!length) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  if (!FHeadersIn) {
    return Fail(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
  }
  const bool number = (level & HTTP_QUERY_FLAG_NUMBER) != 0;
  const DWORD what = level & 0xFFFF;
  std::string value;
  bool moves = false; // status-line queries leave the header index where it is
  const std::size_t occurrence = index ? *index : 0;
  const char* name = nullptr;
  switch (what) {
  case HTTP_QUERY_STATUS_CODE:
    value = std::to_string(FHead.Status());
    break;
  case HTTP_QUERY_STATUS_TEXT:
    value = FHead.Reason();
    break;
  case HTTP_QUERY_RAW_HEADERS_CRLF:
    value = FHead.Raw();
    break;
  case HTTP_QUERY_CONTENT_TYPE:
    name = "Content-Type";
    break;
  case HTTP_QUERY_CONTENT_LENGTH:
    name = "Content-Length";
    break;
  case HTTP_QUERY_WWW_AUTHENTICATE:
    name = "WWW-Authenticate";
    break;
  default:
    return Fail(ERROR_HTTP_HEADER_NOT_FOUND);
  }
  if (name) {
    const auto found = FHead.Header(name, occurrence);
    if (!found) {
      return Fail(ERROR_HTTP_HEADER_NOT_FOUND);
    }
    value = std::string(*found);
    moves = true;
  }
  if (number) {
    if (value.empty() || value.size() > 10 ||
        !std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      return Fail(ERROR_HTTP_INVALID_SERVER_RESPONSE);
    }
    if (*length < sizeof(DWORD) || !buffer) {
      *length = sizeof(DWORD);
      return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    const DWORD parsed = static_cast<DWORD>(std::stoull(value));
    std::memcpy(buffer, &parsed, sizeof parsed);
    *length = sizeof(DWORD);
  } else {
    // Header bytes are taken one character each, as the client does for a reply in the ANSI
    // page; the value is written with its terminator, the length given without it.
    const DWORD needed = static_cast<DWORD>((value.size() + 1) * sizeof(char16_t));
    if (*length < needed || !buffer) {
      *length = needed;
      return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    auto* out = static_cast<char16_t*>(buffer);
    for (std::size_t i = 0; i < value.size(); ++i) {
      out[i] = static_cast<unsigned char>(value[i]);
    }
    out[value.size()] = u'\0';
    *length = needed - sizeof(char16_t);
  }
  if (moves && index) {
    *index = static_cast<DWORD>(occurrence + 1);
  }
  return Succeed();
}

std::size_t TRequest::OnHeader(char* data, std::size_t size, std::size_t count, void* self) {
  auto* r = static_cast<TRequest*>(self);
  r->Progress();
  if (r->FHead.Feed(std::string_view(data, size * count)) && r->FHead.Status() >= 200) {
    const int status = r->FHead.Status();
    // The proxy's yes to CONNECT opens the tunnel; the server's reply comes through it.
    long connectCode = 0;
    curl_easy_getinfo(r->FEasy.get(), CURLINFO_HTTP_CONNECTCODE, &connectCode);
    if (!r->FTunnelUp && status < 300 && connectCode == status &&
        (r->FFlags & INTERNET_FLAG_SECURE)) {
      r->FTunnelUp = true;
      r->FHead = TResponseHead();
      return size * count;
    }
    // A 401 or 407 that curl will answer with the credentials is not the reply yet.
    const auto answers = [](const TParty& party) { return party.tried != 0 || party.ticket; };
    const bool retried =
        (status == 401 && answers(r->FServer)) || (status == 407 && answers(r->FProxy));
    r->FHeadersIn = r->FHeadersIn || !retried;
  }
  return size * count;
}

std::size_t TRequest::OnWrite(char* data, std::size_t size, std::size_t count, void* self) {
  auto* r = static_cast<TRequest*>(self);
  const std::size_t n = size * count;
  if (r->FDiscard) {
    r->Progress();
    return n;
  }
  r->FHeadersIn = true;
  if (r->Pending() >= kMaxPending) {
    r->FPaused |= CURLPAUSE_RECV;
    return CURL_WRITEFUNC_PAUSE;
  }
  if (r->FReceivedTaken > 0) {
    r->FReceived.erase(r->FReceived.begin(),
                       r->FReceived.begin() + static_cast<std::ptrdiff_t>(r->FReceivedTaken));
    r->FReceivedTaken = 0;
  }
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(data); // one memmove, not a loop
  r->FReceived.insert(r->FReceived.end(), bytes, bytes + n);
  r->Progress();
  return n;
}

std::size_t TRequest::OnRead(char* data, std::size_t size, std::size_t count, void* self) {
  auto* r = static_cast<TRequest*>(self);
  if (r->FBodyTaken < r->FBody.size()) {
    const std::size_t n = std::min(size * count, r->FBody.size() - r->FBodyTaken);
    std::memcpy(data, r->FBody.data() + r->FBodyTaken, n);
    r->FBodyTaken += n;
    r->FUploaded += n;
    r->Progress();
    return n;
  }
  if (r->FUploaded >= r->FUploadTotal) {
    return 0;
  }
  r->FPaused |= CURLPAUSE_SEND;
  return CURL_READFUNC_PAUSE;
}

// A streamed body cannot be sent twice; only the start, before anything went, can be sought.
int TRequest::OnSeek(void* self, curl_off_t offset, int origin) {
  auto* r = static_cast<TRequest*>(self);
  return (offset == 0 && origin == SEEK_SET && r->FUploaded == 0) ? CURL_SEEKFUNC_OK
                                                                  : CURL_SEEKFUNC_CANTSEEK;
}

int TRequest::OnProgress(void* self, curl_off_t, curl_off_t dlnow, curl_off_t, curl_off_t ulnow) {
  auto* r = static_cast<TRequest*>(self);
  if (dlnow != r->FSeenDown || ulnow != r->FSeenUp) {
    r->FSeenDown = dlnow;
    r->FSeenUp = ulnow;
    r->Progress();
  }
  return 0;
}

CURLcode TRequest::OnSslContext(CURL*, void* sslContext, void* self) {
  auto* context = static_cast<SSL_CTX*>(sslContext);
  SSL_CTX_set_app_data(context, self);
  SSL_CTX_set_verify(context, SSL_VERIFY_PEER, &TRequest::OnVerify);
  return CURLE_OK;
}

// Accepts an expired or not yet valid certificate when the request says so; an unknown issuer
// or any other fault still fails, and the refusal is noted so that it gets its own code.
int TRequest::OnVerify(int preverified, ::x509_store_ctx_st* store) {
  if (preverified) {
    return 1;
  }
  auto* ssl =
      static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
  auto* self = ssl ? static_cast<TRequest*>(SSL_CTX_get_app_data(SSL_get_SSL_CTX(ssl))) : nullptr;
  const int error = X509_STORE_CTX_get_error(store);
  const bool dateError =
      error == X509_V_ERR_CERT_HAS_EXPIRED || error == X509_V_ERR_CERT_NOT_YET_VALID;
  if (dateError && self && (self->FFlags & INTERNET_FLAG_IGNORE_CERT_DATE_INVALID)) {
    X509_STORE_CTX_set_error(store, X509_V_OK);
    return 1;
  }
  if (self) {
    self->FCertificateFailure =
        dateError ? ERROR_INTERNET_SEC_CERT_DATE_INVALID : ERROR_INTERNET_INVALID_CA;
  }
  return 0;
}

} // namespace detail
} // namespace opc::inet

#pragma once

#include "transport/inet/WinInet.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace opc::inet {

// What InternetErrorDlg does when a reply asks for credentials (status 401 or 407) and the caller
// lets the dialog filter for errors. The application installs one that asks the user, stores the
// credentials on the request (InternetSetOptionW with INTERNET_OPTION_USERNAME and
// INTERNET_OPTION_PASSWORD) and returns ERROR_INTERNET_FORCE_RETRY, or ERROR_CANCELLED.
// Without one the dialog returns ERROR_SUCCESS.
// For a proxy the credentials go in INTERNET_OPTION_PROXY_USERNAME and
// INTERNET_OPTION_PROXY_PASSWORD, so that each party gets only its own.
using TErrorDialogHook = std::function<DWORD(HINTERNET request, DWORD status)>;
void SetErrorDialogHook(TErrorDialogHook hook);

// Who asks for credentials and how: what the hook shows the user.
struct TAuthChallenge {
  bool proxy = false; // a 407 from the proxy, else a 401 from the server
  std::string host;   // UTF-8, of the server or of the proxy
  INTERNET_PORT port = 0;
  std::vector<std::string> schemes; // as offered, in order: "Basic", "NTLM", "Negotiate", ...
  std::string realm;                // empty when no challenge names one
  int status = 0;                   // 401 or 407
  std::string reason;               // the reply's reason phrase
  bool refused = false;             // credentials went to this party and it asks again
};
// The challenge of the reply the request holds; false when the reply asks for nothing.
bool QueryAuthChallenge(HINTERNET request, TAuthChallenge& challenge);

// Called while a request waits on the network, at least every 100 ms. The window uses it to
// keep its user's Escape heard; returning true stops the transfer, which then fails with
// ERROR_INTERNET_OPERATION_CANCELLED. Empty: nothing is called.
using TWaitHook = std::function<bool()>;
void SetWaitHook(TWaitHook hook);

// Certificates of authorities to trust in place of the system's store; empty restores the
// system's. Tests use it to trust a CA made at test time.
void SetCertificateAuthorityFile(std::string path);

// The timeouts a new root handle starts with (InternetSetOptionW can change them per root):
// the Windows client's 60 s to connect and 30 s without progress unless a test sets shorter ones.
void SetDefaultTimeouts(DWORD connectMs, DWORD sendMs, DWORD receiveMs);

// How many handles and curl transfers are open now; every post should leave both at 0.
std::size_t OpenHandleCount();

} // namespace opc::inet

#include "base/Error.h"
#include "base/Format.h"
#include "transport/MSHTTPPost.h"
#include "transport/TransportStrings.h"

namespace opc {

using namespace inet;

THTTPMSPoster::~THTTPMSPoster() {
  SetConnected(false);
}

void THTTPMSPoster::CheckInetResult(bool failed) {
  const DWORD code = GetLastError(); // first, before anything else can change it
  if (!failed || code == 0) {
    return;
  }
  char16_t buffer[256] = {};
  FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM,
                 GetModuleHandleW(u"wininet.dll"), code, 0, buffer, 256, nullptr);
  buffer[255] = u'\0';
  std::u16string text(buffer);
  while (!text.empty() && (text.back() == u'\n' || text.back() == u'\r')) {
    text.pop_back();
  }
  throw Error(Format(kPlatformFailure, {text, FURL, FSoapAction}));
}

void THTTPMSPoster::ParseURL(const std::u16string& url) {
  if (url.empty()) {
    throw Error(kNoOrInvalidUrl);
  }
  URL_COMPONENTSW parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwSchemeLength = 1;
  parts.dwHostNameLength = 1;
  parts.dwUrlPathLength = 1;
  InternetCrackUrlW(url.c_str(), 0, 0, &parts); // the scheme decides, not the result
  if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) {
    throw Error(kNoOrInvalidUrl);
  }
  FURLScheme = parts.nScheme;
  FURLPort = parts.nPort;
  const auto piece = [](const char16_t* at, DWORD length) {
    return at ? std::u16string(at, length) : std::u16string();
  };
  FURLHost = piece(parts.lpszHostName, parts.dwHostNameLength);
  FURLSite = piece(parts.lpszUrlPath, parts.dwUrlPathLength);
}

void THTTPMSPoster::SetConnected(bool connect) {
  if (!connect) {
    if (FInetConnect) {
      InternetCloseHandle(FInetConnect);
      FInetConnect = nullptr;
    }
    if (FInetRoot) {
      InternetCloseHandle(FInetRoot);
      FInetRoot = nullptr;
    }
    FActive = false;
    return;
  }
  if (FActive) {
    return;
  }
  ParseURL(FURL);
  const DWORD access = FProxy.empty() ? INTERNET_OPEN_TYPE_PRECONFIG : INTERNET_OPEN_TYPE_PROXY;
  if (InternetAttemptConnect(0) != 0) {
    throw SilentAbort();
  }
  const std::u16string agent = FAgent + kAgentSuffix;
  FInetRoot = InternetOpenW(agent.c_str(), access, FProxy.c_str(), FProxyByPass.c_str(), 0);
  CheckInetResult(FInetRoot == nullptr);
  try {
    FInetConnect = InternetConnectW(FInetRoot, FURLHost.c_str(), FURLPort, FUserName.c_str(),
                                    FPassword.c_str(), INTERNET_SERVICE_HTTP, 0,
                                    reinterpret_cast<DWORD_PTR>(&FContext));
    CheckInetResult(FInetConnect == nullptr);
  } catch (...) {
    if (FInetRoot) {
      InternetCloseHandle(FInetRoot);
      FInetRoot = nullptr;
    }
    throw;
  }
  FActive = true;
}

} // namespace opc

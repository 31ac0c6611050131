#pragma once

#include "transport/inet/InetHooks.h"
#include "transport/inet/WinInet.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>

namespace opc::test {

using namespace inet;

inline constexpr DWORD kHttpFlags = INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_KEEP_CONNECTION;
inline constexpr DWORD kHttpsFlags =
    kHttpFlags | INTERNET_FLAG_SECURE | INTERNET_FLAG_IGNORE_CERT_DATE_INVALID |
    INTERNET_FLAG_IGNORE_CERT_CN_INVALID | INTERNET_FLAG_PRAGMA_NOCACHE;

// One root, connection and request of the real layer, closed again at the end of the scope.
struct TInetSession {
  HINTERNET root = nullptr;
  HINTERNET connection = nullptr;
  HINTERNET request = nullptr;

  TInetSession(int port, DWORD flags = kHttpFlags, const std::u16string& host = u"127.0.0.1",
               const std::u16string& user = u"", const std::u16string& password = u"",
               DWORD timeoutMs = 0, const char16_t* path = u"/x") {
    root = InternetOpenW(u"test agent", INTERNET_OPEN_TYPE_DIRECT, u"", u"", 0);
    if (timeoutMs) {
      InternetSetOptionW(root, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeoutMs, sizeof timeoutMs);
      InternetSetOptionW(root, INTERNET_OPTION_SEND_TIMEOUT, &timeoutMs, sizeof timeoutMs);
      InternetSetOptionW(root, INTERNET_OPTION_CONNECT_TIMEOUT, &timeoutMs, sizeof timeoutMs);
    }
    connection = InternetConnectW(root, host.c_str(), static_cast<INTERNET_PORT>(port),
                                  user.c_str(), password.c_str(), INTERNET_SERVICE_HTTP, 0, 0);
    OpenRequest(flags, path);
  }
  ~TInetSession() {
    CloseRequest();
    InternetCloseHandle(connection);
    InternetCloseHandle(root);
  }
  void OpenRequest(DWORD flags = kHttpFlags, const char16_t* path = u"/x") {
    request = HttpOpenRequestW(connection, u"POST", path, nullptr, nullptr, nullptr, flags, 0);
  }
  void CloseRequest() {
    if (request) {
      InternetCloseHandle(request);
      request = nullptr;
    }
  }
  void AddHeader(const std::u16string& line) {
    HttpAddRequestHeadersW(request, line.c_str(), static_cast<DWORD>(line.size()),
                           HTTP_ADDREQ_FLAG_ADD);
  }
  bool Send(const std::string& body) {
    return HttpSendRequestW(request, nullptr, 0, body.data(), static_cast<DWORD>(body.size()));
  }
  bool Upload(const std::string& body, std::size_t piece = 32768) {
    INTERNET_BUFFERSW buffers{};
    buffers.dwStructSize = sizeof buffers;
    buffers.dwBufferTotal = static_cast<DWORD>(body.size());
    if (!HttpSendRequestExW(request, &buffers, nullptr, HSR_INITIATE | HSR_SYNC, 0)) {
      return false;
    }
    for (std::size_t at = 0; at < body.size(); at += piece) {
      DWORD written = 0;
      const auto n = static_cast<DWORD>(std::min(piece, body.size() - at));
      if (!InternetWriteFile(request, body.data() + at, n, &written)) {
        return false;
      }
    }
    return HttpEndRequestW(request, nullptr, 0, 0);
  }
  DWORD Status() {
    DWORD status = 0, length = sizeof status, index = 0;
    HttpQueryInfoW(request, HTTP_QUERY_FLAG_NUMBER | HTTP_QUERY_STATUS_CODE, &status, &length,
                   &index);
    return status;
  }
  // The text of a header query, or nothing (GetLastError tells why).
  std::optional<std::u16string> Query(DWORD level, DWORD* index = nullptr) {
    char16_t buffer[2048];
    DWORD length = sizeof buffer, own = 0;
    if (!HttpQueryInfoW(request, level, buffer, &length, index ? index : &own)) {
      return std::nullopt;
    }
    return std::u16string(buffer, length / 2);
  }
  // Reads the body as the poster does; ok tells whether it ended without failure.
  std::string ReadAll(bool& ok, std::size_t limit = SIZE_MAX) {
    std::string body;
    std::string buffer;
    ok = true;
    for (;;) {
      DWORD available = 0;
      if (!InternetQueryDataAvailable(request, &available, 0, 0)) {
        ok = false;
        return body;
      }
      if (available == 0) {
        return body;
      }
      buffer.resize(available);
      DWORD read = 0;
      if (!InternetReadFile(request, buffer.data(), available, &read)) {
        ok = false;
        return body;
      }
      if (body.size() < limit) {
        body.append(buffer.data(), read);
      }
    }
  }
};

} // namespace opc::test

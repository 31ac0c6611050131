#include "FakeInet.h"

#include "base/Utf8Encoding.h"
#include "transport/inet/Handles.h"

#include <cstring>
#include <set>

namespace opc::inet {

namespace fake {

namespace {

std::set<int*>& Handles() {
  static std::set<int*> handles;
  return handles;
}
std::size_t gBodyPiece = 0;
std::size_t gBodyOffset = 0;
std::map<std::string, int> gCalls;

std::string Hex(DWORD value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

std::string Text(const char16_t* text) {
  return text ? EncodeUtf8(text) : "(null)";
}

// Writes the call to the log; returns the error code when the script makes it fail.
DWORD Called(const std::string& name, const std::string& arguments) {
  Log().push_back(name + "(" + arguments + ")");
  const int calls = gCalls[name]++;
  if (auto f = TheScript().failWith.find(name); f != TheScript().failWith.end()) {
    const auto after = TheScript().failAfter.find(name);
    if (after == TheScript().failAfter.end() || calls >= after->second) {
      return f->second;
    }
  }
  return 0;
}

HINTERNET NewHandle() {
  int* handle = new int(0);
  Handles().insert(handle);
  return handle;
}

} // namespace

Script& TheScript() {
  static Script script;
  return script;
}
std::vector<std::string>& Log() {
  static std::vector<std::string> log;
  return log;
}
std::vector<std::string>& Sent() {
  static std::vector<std::string> sent;
  return sent;
}
std::size_t OpenHandles() {
  return Handles().size();
}

void Reset() {
  TheScript() = Script();
  Log().clear();
  Sent().clear();
  for (int* h : Handles()) {
    delete h;
  }
  Handles().clear();
  gBodyPiece = gBodyOffset = 0;
  gCalls.clear();
}

} // namespace fake

using namespace fake;

DWORD InternetAttemptConnect(DWORD) {
  Log().push_back("InternetAttemptConnect()");
  return TheScript().attemptConnect;
}

HINTERNET InternetOpenW(const char16_t* agent, DWORD accessType, const char16_t* proxy,
                        const char16_t* bypass, DWORD flags) {
  if (DWORD e = Called("InternetOpenW", Text(agent) + "," + std::to_string(accessType) + "," +
                                            Text(proxy) + "," + Text(bypass) + "," +
                                            std::to_string(flags))) {
    return detail::FailHandle(e);
  }
  SetLastError(0);
  return NewHandle();
}

HINTERNET InternetConnectW(HINTERNET, const char16_t* host, INTERNET_PORT port,
                           const char16_t* user, const char16_t* password, DWORD service, DWORD,
                           DWORD_PTR context) {
  if (DWORD e =
          Called("InternetConnectW", Text(host) + "," + std::to_string(port) + "," + Text(user) +
                                         "," + Text(password) + "," + std::to_string(service) +
                                         (context ? ",context" : ",0"))) {
    return detail::FailHandle(e);
  }
  SetLastError(0);
  return NewHandle();
}

HINTERNET HttpOpenRequestW(HINTERNET, const char16_t* verb, const char16_t* object,
                           const char16_t* version, const char16_t*, const char16_t**, DWORD flags,
                           DWORD_PTR) {
  if (DWORD e = Called("HttpOpenRequestW",
                       Text(verb) + "," + Text(object) + "," + Text(version) + "," + Hex(flags))) {
    return detail::FailHandle(e);
  }
  gBodyPiece = gBodyOffset = 0;
  SetLastError(0);
  return NewHandle();
}

BOOL HttpAddRequestHeadersW(HINTERNET, const char16_t* headers, DWORD length, DWORD modifiers) {
  const std::u16string line(headers, length);
  if (DWORD e = Called("HttpAddRequestHeadersW", EncodeUtf8(line) + "," + Hex(modifiers))) {
    return detail::Fail(e);
  }
  return detail::Succeed();
}

BOOL HttpSendRequestW(HINTERNET, const char16_t* headers, DWORD, const void* optional,
                      DWORD length) {
  Sent().emplace_back(static_cast<const char*>(optional), length);
  if (DWORD e = Called("HttpSendRequestW", std::string(headers ? "headers" : "(null)") + "," +
                                               std::to_string(length))) {
    return detail::Fail(e);
  }
  return detail::Succeed();
}

BOOL HttpSendRequestExW(HINTERNET, INTERNET_BUFFERSW* in, INTERNET_BUFFERSW* out, DWORD flags,
                        DWORD_PTR) {
  if (DWORD e = Called("HttpSendRequestExW", std::to_string(in ? in->dwBufferTotal : 0) + "," +
                                                 std::to_string(in ? in->dwStructSize : 0) + "," +
                                                 (out ? "out" : "(null)") + "," + Hex(flags))) {
    return detail::Fail(e);
  }
  return detail::Succeed();
}

BOOL InternetWriteFile(HINTERNET, const void* buffer, DWORD length, DWORD* written) {
  Sent().emplace_back(static_cast<const char*>(buffer), length);
  if (DWORD e = Called("InternetWriteFile", std::to_string(length))) {
    return detail::Fail(e);
  }
  *written = length;
  return detail::Succeed();
}

BOOL HttpEndRequestW(HINTERNET, INTERNET_BUFFERSW*, DWORD, DWORD_PTR) {
  if (DWORD e = Called("HttpEndRequestW", "")) {
    return detail::Fail(e);
  }
  return detail::Succeed();
}

DWORD InternetErrorDlg(HWND window, HINTERNET, DWORD error, DWORD flags, void** data) {
  Log().push_back(
      "InternetErrorDlg(" + std::string(window == GetDesktopWindow() ? "desktop" : "?") + "," +
      std::to_string(error) + "," + std::to_string(flags) + (data ? ",data" : ",(null)") + ")");
  if (TheScript().dialog.empty()) {
    return ERROR_SUCCESS;
  }
  const DWORD outcome = TheScript().dialog.front();
  TheScript().dialog.pop_front();
  return outcome;
}

BOOL HttpQueryInfoW(HINTERNET, DWORD level, void* buffer, DWORD* length, DWORD* index) {
  const DWORD in = *index;
  if (DWORD e = Called("HttpQueryInfoW", Hex(level) + ",len=" + std::to_string(*length) +
                                             ",index=" + std::to_string(in))) {
    return detail::Fail(e);
  }
  const auto text = [&](const std::u16string& value) {
    const DWORD needed = static_cast<DWORD>((value.size() + 1) * 2);
    if (*length < needed) {
      *length = needed;
      return detail::Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(buffer, value.c_str(), needed);
    *length = needed - 2;
    return detail::Succeed();
  };
  switch (level) {
  case HTTP_QUERY_FLAG_NUMBER | HTTP_QUERY_STATUS_CODE:
    std::memcpy(buffer, &TheScript().status, 4);
    *length = 4;
    return detail::Succeed();
  case HTTP_QUERY_STATUS_TEXT:
    if (!TheScript().reason) {
      return detail::Fail(ERROR_HTTP_HEADER_NOT_FOUND);
    }
    return text(*TheScript().reason);
  case HTTP_QUERY_CONTENT_TYPE:
    if (!TheScript().contentType || in > 0) {
      return detail::Fail(ERROR_HTTP_HEADER_NOT_FOUND);
    }
    if (!text(*TheScript().contentType)) {
      return FALSE;
    }
    *index = in + 1;
    return TRUE;
  default:
    return detail::Fail(ERROR_HTTP_HEADER_NOT_FOUND);
  }
}

BOOL InternetQueryDataAvailable(HINTERNET, DWORD* available, DWORD, DWORD_PTR) {
  if (DWORD e = Called("InternetQueryDataAvailable", "")) {
    return detail::Fail(e);
  }
  const auto& body = TheScript().body;
  *available =
      gBodyPiece < body.size() ? static_cast<DWORD>(body[gBodyPiece].size() - gBodyOffset) : 0;
  return detail::Succeed();
}

BOOL InternetReadFile(HINTERNET, void* buffer, DWORD count, DWORD* read) {
  if (DWORD e = Called("InternetReadFile", std::to_string(count))) {
    return detail::Fail(e);
  }
  const auto& body = TheScript().body;
  *read = 0;
  if (gBodyPiece < body.size()) {
    const std::string& piece = body[gBodyPiece];
    const std::size_t n = std::min<std::size_t>(count, piece.size() - gBodyOffset);
    std::memcpy(buffer, piece.data() + gBodyOffset, n);
    gBodyOffset += n;
    *read = static_cast<DWORD>(n);
    if (gBodyOffset == piece.size()) {
      ++gBodyPiece;
      gBodyOffset = 0;
    }
  }
  return detail::Succeed();
}

BOOL InternetSetOptionW(HINTERNET, DWORD, const void*, DWORD) {
  return detail::Succeed();
}

BOOL InternetCloseHandle(HINTERNET handle) {
  Log().push_back("InternetCloseHandle()");
  auto* h = static_cast<int*>(handle);
  if (Handles().erase(h) == 0) {
    return detail::Fail(ERROR_INVALID_HANDLE);
  }
  delete h;
  return detail::Succeed();
}

} // namespace opc::inet

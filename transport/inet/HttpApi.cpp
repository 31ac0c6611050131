#include "base/Utf8Encoding.h"
#include "transport/inet/InetHooks.h"
#include "transport/inet/KeptAnswers.h"
#include "transport/inet/Request.h"
#include "transport/inet/Session.h"

#include <string_view>

namespace opc::inet {

using namespace detail;

namespace {

TErrorDialogHook& Hook() {
  static TErrorDialogHook hook;
  return hook;
}

std::u16string_view View(const char16_t* text, DWORD length) {
  if (!text) {
    return {};
  }
  return length == 0xFFFFFFFF || length == 0 ? std::u16string_view(text)
                                             : std::u16string_view(text, length);
}

// The object name as it goes on the request line: UTF-8, with bytes that may not stand in a URL
// percent-encoded; "%" is kept, so an already encoded path goes unchanged.
bool RequestTarget(std::u16string_view object, std::string& target) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  target.clear();
  if (object.empty() || object.front() != u'/') {
    target += '/';
  }
  for (char ch : EncodeUtf8(object)) {
    const auto byte = static_cast<unsigned char>(ch);
    if (byte < 0x20 || byte == 0x7F) {
      return false;
    }
    if (byte >= 0x80 || byte == ' ' || byte == '"' || byte == '<' || byte == '>' || byte == '\\' ||
        byte == '^' || byte == '`' || byte == '{' || byte == '|' || byte == '}') {
      target += '%';
      target += kHex[byte >> 4];
      target += kHex[byte & 15];
    } else {
      target += ch;
    }
  }
  return true;
}

} // namespace

void SetErrorDialogHook(TErrorDialogHook hook) {
  Hook() = std::move(hook);
}

HINTERNET HttpOpenRequestW(HINTERNET connection, const char16_t* verb, const char16_t* objectName,
                           const char16_t*, const char16_t*, const char16_t**, DWORD flags,
                           DWORD_PTR) {
  auto* owner = As<TConnection>(connection);
  if (!owner) {
    return nullptr;
  }
  if (verb && std::u16string_view(verb) != u"POST") {
    return FailHandle(ERROR_INVALID_PARAMETER); // the layer posts; nothing else asks more
  }
  std::string target;
  if (!RequestTarget(View(objectName, 0), target)) {
    return FailHandle(ERROR_INTERNET_INVALID_URL);
  }
  const bool secure = (flags & INTERNET_FLAG_SECURE) != 0;
  const bool literal = owner->host.find(':') != std::string::npos;
  const std::string url = std::string(secure ? "https://" : "http://") + (literal ? "[" : "") +
                          owner->host + (literal ? "]" : "") + ":" + std::to_string(owner->port) +
                          target;
  return Publish(std::make_unique<TRequest>(*owner, url, flags));
}

BOOL HttpAddRequestHeadersW(HINTERNET request, const char16_t* headers, DWORD headersLength,
                            DWORD) {
  auto* r = As<TRequest>(request);
  if (!r) {
    return FALSE;
  }
  // Lines may come several at once, separated by CR LF; each goes as a header line of its own.
  const std::string text = EncodeUtf8(View(headers, headersLength));
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) {
      end = text.size();
    }
    std::string line = text.substr(start, end - start);
    start = end + 1;
    const std::size_t colon = line.find(':');
    if (line.empty()) {
      continue;
    }
    if (colon == std::string::npos || colon == 0) {
      return Fail(ERROR_INVALID_PARAMETER);
    }
    // "Name:" with nothing after it is sent as it stands; curl writes that as "Name;".
    if (line.find_first_not_of(" \t", colon + 1) == std::string::npos) {
      line = line.substr(0, colon) + ";";
    }
    r->AddHeader(std::move(line));
  }
  return Succeed();
}

BOOL HttpSendRequestW(HINTERNET request, const char16_t* headers, DWORD headersLength,
                      const void* optional, DWORD optionalLength) {
  auto* r = As<TRequest>(request);
  if (!r) {
    return FALSE;
  }
  if (headers && !HttpAddRequestHeadersW(request, headers, headersLength, HTTP_ADDREQ_FLAG_ADD)) {
    return FALSE;
  }
  return r->Send(optional, optionalLength);
}

BOOL HttpSendRequestExW(HINTERNET request, INTERNET_BUFFERSW* buffersIn, INTERNET_BUFFERSW*, DWORD,
                        DWORD_PTR) {
  auto* r = As<TRequest>(request);
  if (!r) {
    return FALSE;
  }
  return r->BeginUpload(buffersIn ? buffersIn->dwBufferTotal : 0);
}

BOOL InternetWriteFile(HINTERNET request, const void* buffer, DWORD numberOfBytesToWrite,
                       DWORD* numberOfBytesWritten) {
  auto* r = As<TRequest>(request);
  if (!r) {
    return FALSE;
  }
  const BOOL ok = r->Write(buffer, numberOfBytesToWrite);
  if (numberOfBytesWritten) {
    *numberOfBytesWritten = ok ? numberOfBytesToWrite : 0;
  }
  return ok;
}

BOOL HttpEndRequestW(HINTERNET request, INTERNET_BUFFERSW*, DWORD, DWORD_PTR) {
  auto* r = As<TRequest>(request);
  return r ? r->EndUpload() : FALSE;
}

DWORD InternetErrorDlg(HWND, HINTERNET request, DWORD, DWORD flags, void**) {
  auto* r = As<TRequest>(request);
  if (!r) {
    return ERROR_INVALID_HANDLE;
  }
  SetLastError(ERROR_SUCCESS);
  const bool asksForCredentials = r->HeadersIn() && (r->Status() == 401 || r->Status() == 407);
  if ((flags & FLAGS_ERROR_UI_FILTER_FOR_ERRORS) && asksForCredentials && Hook()) {
    return Hook()(request, static_cast<DWORD>(r->Status()));
  }
  return ERROR_SUCCESS;
}

BOOL HttpQueryInfoW(HINTERNET request, DWORD infoLevel, void* buffer, DWORD* bufferLength,
                    DWORD* index) {
  auto* r = As<TRequest>(request);
  return r ? r->QueryInfo(infoLevel, buffer, bufferLength, index) : FALSE;
}

BOOL InternetQueryDataAvailable(HINTERNET request, DWORD* numberOfBytesAvailable, DWORD,
                                DWORD_PTR) {
  auto* r = As<TRequest>(request);
  if (!r || !numberOfBytesAvailable) {
    return r ? Fail(ERROR_INVALID_PARAMETER) : FALSE;
  }
  return r->QueryDataAvailable(*numberOfBytesAvailable);
}

BOOL InternetReadFile(HINTERNET request, void* buffer, DWORD numberOfBytesToRead,
                      DWORD* numberOfBytesRead) {
  auto* r = As<TRequest>(request);
  if (!r || !numberOfBytesRead || (!buffer && numberOfBytesToRead)) {
    return r ? Fail(ERROR_INVALID_PARAMETER) : FALSE;
  }
  return r->Read(buffer, numberOfBytesToRead, *numberOfBytesRead);
}

bool QueryAuthChallenge(HINTERNET request, TAuthChallenge& challenge) {
  auto* r = As<TRequest>(request);
  if (!r) {
    return false;
  }
  SetLastError(ERROR_SUCCESS);
  return r->Challenge(challenge);
}

BOOL InternetSetOptionW(HINTERNET handle, DWORD option, const void* buffer, DWORD bufferLength) {
  const bool proxy =
      option == INTERNET_OPTION_PROXY_USERNAME || option == INTERNET_OPTION_PROXY_PASSWORD;
  if (proxy || option == INTERNET_OPTION_USERNAME || option == INTERNET_OPTION_PASSWORD) {
    auto* r = As<TRequest>(handle);
    if (!r) {
      return FALSE;
    }
    std::string value = EncodeUtf8(View(static_cast<const char16_t*>(buffer), bufferLength));
    const bool user =
        option == INTERNET_OPTION_USERNAME || option == INTERNET_OPTION_PROXY_USERNAME;
    user ? r->SetUserName(proxy, std::move(value)) : r->SetPassword(proxy, std::move(value));
    return Succeed();
  }
  if (option == INTERNET_OPTION_END_BROWSER_SESSION) {
    ForgetKeptAnswers();
    return Succeed();
  }
  auto* root = As<TRoot>(handle);
  if (!root) {
    return FALSE;
  }
  if (!buffer || bufferLength < sizeof(DWORD)) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  const DWORD value = *static_cast<const DWORD*>(buffer);
  switch (option) {
  case INTERNET_OPTION_CONNECT_TIMEOUT:
    root->session->connectTimeoutMs = value;
    break;
  case INTERNET_OPTION_SEND_TIMEOUT:
    root->session->sendTimeoutMs = value;
    break;
  case INTERNET_OPTION_RECEIVE_TIMEOUT:
    root->session->receiveTimeoutMs = value;
    break;
  default:
    return Fail(ERROR_INVALID_PARAMETER);
  }
  return Succeed();
}

} // namespace opc::inet

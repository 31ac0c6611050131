#pragma once

// The operations of the platform HTTP client that the poster uses, with the names, argument order,
// handle and result conventions of the Windows client: a null HINTERNET or a FALSE result means
// failure, and every call sets the thread's last error (0 on success). Texts are UTF-16.
// Over libcurl here; on Windows the same declarations could forward to the real client.

#include <cstdint>

namespace opc::inet {

using DWORD = std::uint32_t;
using BOOL = int;
using INTERNET_PORT = std::uint16_t;
using HINTERNET = void*;
using HWND = void*;
using HMODULE = void*;
using DWORD_PTR = std::uintptr_t;

inline constexpr BOOL TRUE = 1;
inline constexpr BOOL FALSE = 0;

// Schemes
inline constexpr int INTERNET_SCHEME_UNKNOWN = -1;
inline constexpr int INTERNET_SCHEME_HTTP = 3;
inline constexpr int INTERNET_SCHEME_HTTPS = 4;
inline constexpr INTERNET_PORT INTERNET_DEFAULT_HTTP_PORT = 80;
inline constexpr INTERNET_PORT INTERNET_DEFAULT_HTTPS_PORT = 443;

// InternetOpenW
inline constexpr DWORD INTERNET_OPEN_TYPE_PRECONFIG = 0;
inline constexpr DWORD INTERNET_OPEN_TYPE_DIRECT = 1;
inline constexpr DWORD INTERNET_OPEN_TYPE_PROXY = 3;
inline constexpr DWORD INTERNET_SERVICE_HTTP = 3;

// HttpOpenRequestW flags
inline constexpr DWORD INTERNET_FLAG_NO_CACHE_WRITE = 0x04000000;
inline constexpr DWORD INTERNET_FLAG_KEEP_CONNECTION = 0x00400000;
inline constexpr DWORD INTERNET_FLAG_SECURE = 0x00800000;
inline constexpr DWORD INTERNET_FLAG_IGNORE_CERT_DATE_INVALID = 0x00002000;
inline constexpr DWORD INTERNET_FLAG_IGNORE_CERT_CN_INVALID = 0x00001000;
inline constexpr DWORD INTERNET_FLAG_PRAGMA_NOCACHE = 0x00000100;

// HttpAddRequestHeadersW, HttpSendRequestExW
inline constexpr DWORD HTTP_ADDREQ_FLAG_ADD = 0x20000000;
inline constexpr DWORD HSR_INITIATE = 0x00000008;
inline constexpr DWORD HSR_SYNC = 0x00000004;

// HttpQueryInfoW levels
inline constexpr DWORD HTTP_QUERY_CONTENT_TYPE = 1;
inline constexpr DWORD HTTP_QUERY_CONTENT_LENGTH = 5;
inline constexpr DWORD HTTP_QUERY_STATUS_CODE = 19;
inline constexpr DWORD HTTP_QUERY_STATUS_TEXT = 20;
inline constexpr DWORD HTTP_QUERY_RAW_HEADERS_CRLF = 22;
inline constexpr DWORD HTTP_QUERY_WWW_AUTHENTICATE = 40;
inline constexpr DWORD HTTP_QUERY_FLAG_NUMBER = 0x20000000;

// InternetErrorDlg
inline constexpr DWORD FLAGS_ERROR_UI_FILTER_FOR_ERRORS = 0x01;
inline constexpr DWORD FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS = 0x02;
inline constexpr DWORD FLAGS_ERROR_UI_FLAGS_GENERATE_DATA = 0x04;

// InternetSetOptionW
inline constexpr DWORD INTERNET_OPTION_CONNECT_TIMEOUT = 2;
inline constexpr DWORD INTERNET_OPTION_SEND_TIMEOUT = 5;
inline constexpr DWORD INTERNET_OPTION_RECEIVE_TIMEOUT = 6;
inline constexpr DWORD INTERNET_OPTION_USERNAME = 28;
inline constexpr DWORD INTERNET_OPTION_PASSWORD = 29;
// Ends the "browser session": answers kept from the credentials dialog are forgotten.
inline constexpr DWORD INTERNET_OPTION_END_BROWSER_SESSION = 42;
inline constexpr DWORD INTERNET_OPTION_PROXY_USERNAME = 43;
inline constexpr DWORD INTERNET_OPTION_PROXY_PASSWORD = 44;

// FormatMessageW
inline constexpr DWORD FORMAT_MESSAGE_FROM_HMODULE = 0x00000800;
inline constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x00001000;

// Codes
inline constexpr DWORD ERROR_SUCCESS = 0;
inline constexpr DWORD ERROR_INVALID_HANDLE = 6;
inline constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr DWORD ERROR_INVALID_PARAMETER = 87;
inline constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr DWORD ERROR_CANCELLED = 1223;
inline constexpr DWORD ERROR_INTERNET_TIMEOUT = 12002;
inline constexpr DWORD ERROR_INTERNET_INTERNAL_ERROR = 12004;
inline constexpr DWORD ERROR_INTERNET_INVALID_URL = 12005;
inline constexpr DWORD ERROR_INTERNET_UNRECOGNIZED_SCHEME = 12006;
inline constexpr DWORD ERROR_INTERNET_NAME_NOT_RESOLVED = 12007;
inline constexpr DWORD ERROR_INTERNET_OPERATION_CANCELLED = 12017;
inline constexpr DWORD ERROR_INTERNET_INCORRECT_HANDLE_STATE = 12019;
inline constexpr DWORD ERROR_INTERNET_CANNOT_CONNECT = 12029;
inline constexpr DWORD ERROR_INTERNET_CONNECTION_ABORTED = 12030;
inline constexpr DWORD ERROR_INTERNET_CONNECTION_RESET = 12031;
inline constexpr DWORD ERROR_INTERNET_FORCE_RETRY = 12032;
inline constexpr DWORD ERROR_INTERNET_SEC_CERT_DATE_INVALID = 12037;
inline constexpr DWORD ERROR_INTERNET_SEC_CERT_CN_INVALID = 12038;
inline constexpr DWORD ERROR_INTERNET_INVALID_CA = 12045;
inline constexpr DWORD ERROR_HTTP_HEADER_NOT_FOUND = 12150;
inline constexpr DWORD ERROR_HTTP_INVALID_SERVER_RESPONSE = 12152;
inline constexpr DWORD ERROR_INTERNET_SECURITY_CHANNEL_ERROR = 12157;

struct URL_COMPONENTSW {
  DWORD dwStructSize;
  char16_t* lpszScheme;
  DWORD dwSchemeLength;
  int nScheme;
  char16_t* lpszHostName;
  DWORD dwHostNameLength;
  INTERNET_PORT nPort;
  char16_t* lpszUserName;
  DWORD dwUserNameLength;
  char16_t* lpszPassword;
  DWORD dwPasswordLength;
  char16_t* lpszUrlPath;
  DWORD dwUrlPathLength;
  char16_t* lpszExtraInfo;
  DWORD dwExtraInfoLength;
};

struct INTERNET_BUFFERSW {
  DWORD dwStructSize;
  INTERNET_BUFFERSW* Next;
  const char16_t* lpcszHeader;
  DWORD dwHeadersLength;
  DWORD dwHeadersTotal;
  void* lpvBuffer;
  DWORD dwBufferLength;
  DWORD dwBufferTotal;
  DWORD dwOffsetLow;
  DWORD dwOffsetHigh;
};

BOOL InternetCrackUrlW(const char16_t* url, DWORD urlLength, DWORD flags,
                       URL_COMPONENTSW* components);
DWORD InternetAttemptConnect(DWORD reserved);
HINTERNET InternetOpenW(const char16_t* agent, DWORD accessType, const char16_t* proxy,
                        const char16_t* proxyBypass, DWORD flags);
HINTERNET InternetConnectW(HINTERNET root, const char16_t* serverName, INTERNET_PORT port,
                           const char16_t* userName, const char16_t* password, DWORD service,
                           DWORD flags, DWORD_PTR context);
HINTERNET HttpOpenRequestW(HINTERNET connection, const char16_t* verb, const char16_t* objectName,
                           const char16_t* version, const char16_t* referrer,
                           const char16_t** acceptTypes, DWORD flags, DWORD_PTR context);
BOOL HttpAddRequestHeadersW(HINTERNET request, const char16_t* headers, DWORD headersLength,
                            DWORD modifiers);
BOOL HttpSendRequestW(HINTERNET request, const char16_t* headers, DWORD headersLength,
                      const void* optional, DWORD optionalLength);
BOOL HttpSendRequestExW(HINTERNET request, INTERNET_BUFFERSW* buffersIn,
                        INTERNET_BUFFERSW* buffersOut, DWORD flags, DWORD_PTR context);
BOOL InternetWriteFile(HINTERNET request, const void* buffer, DWORD numberOfBytesToWrite,
                       DWORD* numberOfBytesWritten);
BOOL HttpEndRequestW(HINTERNET request, INTERNET_BUFFERSW* buffersOut, DWORD flags,
                     DWORD_PTR context);
DWORD InternetErrorDlg(HWND window, HINTERNET request, DWORD error, DWORD flags, void** data);
BOOL HttpQueryInfoW(HINTERNET request, DWORD infoLevel, void* buffer, DWORD* bufferLength,
                    DWORD* index);
BOOL InternetQueryDataAvailable(HINTERNET request, DWORD* numberOfBytesAvailable, DWORD flags,
                                DWORD_PTR context);
BOOL InternetReadFile(HINTERNET request, void* buffer, DWORD numberOfBytesToRead,
                      DWORD* numberOfBytesRead);
BOOL InternetSetOptionW(HINTERNET handle, DWORD option, const void* buffer, DWORD bufferLength);
BOOL InternetCloseHandle(HINTERNET handle);

DWORD GetLastError();
void SetLastError(DWORD code);
HMODULE GetModuleHandleW(const char16_t* moduleName);
HWND GetDesktopWindow();
// The text for a code, ending in CR LF as the system's texts do; returns its length, or 0 (and
// leaves the buffer as it was) when there is none or it does not fit.
DWORD FormatMessageW(DWORD flags, const void* source, DWORD messageId, DWORD languageId,
                     char16_t* buffer, DWORD size, void* arguments);

} // namespace opc::inet

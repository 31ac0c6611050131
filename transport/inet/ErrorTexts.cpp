#include "transport/inet/WinInet.h"

#include <algorithm>
#include <string_view>

namespace opc::inet {

namespace {

struct Text {
  DWORD code;
  std::u16string_view text;
};

// The client's own texts have no closing full stop; the system's have one. Both end in CR LF.
constexpr Text kTexts[] = {
    {ERROR_INVALID_HANDLE, u"The handle is invalid.\r\n"},
    {ERROR_NOT_ENOUGH_MEMORY,
     u"Not enough memory resources are available to process this command.\r\n"},
    {ERROR_INVALID_PARAMETER, u"The parameter is incorrect.\r\n"},
    {ERROR_INSUFFICIENT_BUFFER, u"The data area passed to a system call is too small.\r\n"},
    {ERROR_CANCELLED, u"The operation was canceled by the user.\r\n"},
    {ERROR_INTERNET_TIMEOUT, u"The operation timed out\r\n"},
    {ERROR_INTERNET_INTERNAL_ERROR,
     u"An internal error occurred in the Microsoft Internet extensions\r\n"},
    {ERROR_INTERNET_INVALID_URL, u"The URL is invalid\r\n"},
    {ERROR_INTERNET_UNRECOGNIZED_SCHEME, u"The URL does not use a recognized protocol\r\n"},
    {ERROR_INTERNET_NAME_NOT_RESOLVED, u"The server name or address could not be resolved\r\n"},
    {ERROR_INTERNET_OPERATION_CANCELLED,
     u"The operation was canceled, usually because the handle on which the request was operating "
     u"was closed before the operation completed\r\n"},
    {ERROR_INTERNET_INCORRECT_HANDLE_STATE,
     u"The requested operation cannot be carried out because the handle supplied is not in the "
     u"correct state\r\n"},
    {ERROR_INTERNET_CANNOT_CONNECT, u"A connection with the server could not be established\r\n"},
    {ERROR_INTERNET_CONNECTION_ABORTED,
     u"The connection with the server was terminated abnormally\r\n"},
    {ERROR_INTERNET_CONNECTION_RESET, u"The connection with the server was reset\r\n"},
    {ERROR_INTERNET_FORCE_RETRY, u"The request must be resent\r\n"},
    {ERROR_INTERNET_SEC_CERT_DATE_INVALID,
     u"The date in the certificate is invalid or has expired\r\n"},
    {ERROR_INTERNET_SEC_CERT_CN_INVALID,
     u"The host name in the certificate is invalid or does not match\r\n"},
    {ERROR_INTERNET_INVALID_CA, u"The certificate authority is invalid or incorrect\r\n"},
    {ERROR_HTTP_HEADER_NOT_FOUND, u"The requested header could not be located\r\n"},
    {ERROR_HTTP_INVALID_SERVER_RESPONSE,
     u"The server returned an invalid or unrecognized response\r\n"},
    {ERROR_INTERNET_SECURITY_CHANNEL_ERROR, u"An error occurred in the secure channel support\r\n"},
};

int gWinInetModule;
int gDesktopWindow;

} // namespace

HMODULE GetModuleHandleW(const char16_t*) {
  return &gWinInetModule;
}
HWND GetDesktopWindow() {
  return &gDesktopWindow;
}

DWORD FormatMessageW(DWORD, const void*, DWORD messageId, DWORD, char16_t* buffer, DWORD size,
                     void*) {
  const auto found = std::find_if(std::begin(kTexts), std::end(kTexts),
                                  [&](const Text& t) { return t.code == messageId; });
  if (found == std::end(kTexts) || !buffer || found->text.size() + 1 > size) {
    return 0;
  }
  std::copy(found->text.begin(), found->text.end(), buffer);
  buffer[found->text.size()] = u'\0';
  return static_cast<DWORD>(found->text.size());
}

} // namespace opc::inet

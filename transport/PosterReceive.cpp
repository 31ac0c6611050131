#include "base/Error.h"
#include "base/Format.h"
#include "transport/MSHTTPPost.h"
#include "transport/TransportStrings.h"

#include <algorithm>

namespace opc {

using namespace inet;

namespace {

bool EqualsIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) {
    return false;
  }
  const auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; };
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) {
      return false;
    }
  }
  return true;
}

thread_local TResponseHead lastHead;

} // namespace

const TResponseHead& LastResponseHead() {
  return lastHead;
}

void THTTPMSPoster::ReceiveResponse(HINTERNET handle, ByteStream& response) {
  DWORD index = 0; // one index for all three queries
  DWORD status = 0;
  DWORD length = sizeof status;
  if (HttpQueryInfoW(handle, HTTP_QUERY_FLAG_NUMBER | HTTP_QUERY_STATUS_CODE, &status, &length,
                     &index) &&
      status >= 300 && status != 500) {
    lastHead.status = status;
    index = 0;
    char16_t reason[2048];
    length = sizeof reason;
    if (HttpQueryInfoW(handle, HTTP_QUERY_STATUS_TEXT, reason, &length, &index)) {
      throw Error(Format(kStatusFailure, {std::u16string_view(reason, length / 2),
                                          static_cast<std::int64_t>(status), FURL}));
    }
  }

  // A failed query (no such header, or a value of 128 characters or more) gives no content type,
  // which matches neither refused type; its length is never used to read the buffer.
  char16_t contentTypeBuffer[128];
  length = sizeof contentTypeBuffer;
  std::u16string contentType;
  if (HttpQueryInfoW(handle, HTTP_QUERY_CONTENT_TYPE, contentTypeBuffer, &length, &index) &&
      length <= sizeof contentTypeBuffer) {
    contentType.assign(contentTypeBuffer, length / 2);
  }
  lastHead = {status, contentType};

  // Each piece is read straight into the response's own block: a large reply is copied once on
  // its way from the connection, not once more through a buffer of the poster's.
  for (;;) {
    DWORD available = 0;
    const BOOL queried = InternetQueryDataAvailable(handle, &available, 0, 0);
    CheckInetResult(!queried);
    if (available == 0) {
      break;
    }
    std::uint8_t* piece = response.Claim(available);
    DWORD read = 0;
    const BOOL ok = InternetReadFile(handle, piece, available, &read);
    CheckInetResult(!ok);
    response.Commit(std::min<DWORD>(read, available));
  }

  if (EqualsIgnoringAsciiCase(contentType, kTextPlain) ||
      EqualsIgnoringAsciiCase(contentType, kTextHtml)) {
    throw Error(Format(kInvalidContentType, {contentType}));
  }
}

void THTTPMSPoster::PostData(std::u16string_view soapAction, ByteStream& request,
                             ByteStream& response) {
  FSoapAction = soapAction;
  lastHead = {};
  HINTERNET handle = SendRequest(request);
  try {
    ReceiveResponse(handle, response);
  } catch (...) {
    if (handle) {
      InternetCloseHandle(handle);
    }
    throw;
  }
  if (handle) {
    InternetCloseHandle(handle);
  }
}

void PostSoapRequest(std::u16string_view url, std::u16string_view proxy,
                     std::u16string_view userName, std::u16string_view password,
                     std::u16string_view soapAction, ByteStream& request, ByteStream& response) {
  THTTPMSPoster poster;
  poster.FURL = url;
  poster.FProxy = proxy;
  poster.FUserName = userName;
  poster.FPassword = password;
  poster.FSoapAction = soapAction;
  poster.FAgent = kAgentBase;
  poster.PostData(soapAction, request, response);
}

} // namespace opc

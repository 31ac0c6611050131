#include "base/Error.h"
#include "base/Format.h"
#include "transport/MSHTTPPost.h"
#include "transport/TransportStrings.h"

#include <algorithm>
#include <vector>

namespace opc {

using namespace inet;

namespace {

constexpr std::uint32_t kOneCallLimit = 32768;
constexpr std::uint32_t kPieceSize = 32768;
constexpr DWORD kHttpFlags = INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_KEEP_CONNECTION;
constexpr DWORD kHttpsFlags = kHttpFlags | INTERNET_FLAG_SECURE |
                              INTERNET_FLAG_IGNORE_CERT_DATE_INVALID |
                              INTERNET_FLAG_IGNORE_CERT_CN_INVALID | INTERNET_FLAG_PRAGMA_NOCACHE;
constexpr DWORD kDialogFlags = FLAGS_ERROR_UI_FILTER_FOR_ERRORS |
                               FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS |
                               FLAGS_ERROR_UI_FLAGS_GENERATE_DATA;

void AddHeaderLine(HINTERNET request, const std::u16string& line) {
  HttpAddRequestHeadersW(request, line.c_str(), static_cast<DWORD>(line.size()),
                         HTTP_ADDREQ_FLAG_ADD); // a refused line does not stop the send
}

DWORD AskErrorDialog(HINTERNET request) {
  void* data = nullptr;
  return InternetErrorDlg(GetDesktopWindow(), request, GetLastError(), kDialogFlags, &data);
}

} // namespace

std::u16string SoapActionHeader(std::u16string_view action) {
  if (action.empty()) {
    return std::u16string(kSoapActionName) + u":";
  }
  if (action == u"\"\"") {
    return std::u16string(kSoapActionName) + u": \"\"";
  }
  return std::u16string(kSoapActionName) + u": \"" + std::u16string(action) + u"\"";
}

HINTERNET THTTPMSPoster::SendRequest(ByteStream& request) {
  SetConnected(true);
  const DWORD flags = FURLScheme == INTERNET_SCHEME_HTTPS ? kHttpsFlags : kHttpFlags;
  HINTERNET handle = nullptr;
  try {
    handle = HttpOpenRequestW(FInetConnect, u"POST", FURLSite.c_str(), nullptr, nullptr, nullptr,
                              flags, 0);
    CheckInetResult(handle == nullptr);
    AddHeaderLine(handle, SoapActionHeader(FSoapAction));
    AddHeaderLine(handle, Format(kContentTypeLine, {kTextXmlUtf8}));
    request.SetPosition(0);
    // The upload announces its length in 32 bits; a larger body cannot be described.
    if (request.Size() > 0xFFFFFFFF) {
      throw Error(kInvalidHttpRequest);
    }
    const auto size = static_cast<std::uint32_t>(request.Size());
    if (size <= kOneCallLimit) {
      SendInOneCall(handle, request, size);
    } else {
      SendInPieces(handle, request, size);
    }
    return handle;
  } catch (...) {
    if (handle) {
      InternetCloseHandle(handle);
    }
    SetConnected(false);
    throw;
  }
}

void THTTPMSPoster::SendInOneCall(HINTERNET handle, ByteStream& body, std::uint32_t size) {
  std::vector<std::uint8_t> block(size);
  block.resize(body.Read(block.data(), size));
  for (;;) {
    const BOOL sent =
        HttpSendRequestW(handle, nullptr, 0, block.data(), static_cast<DWORD>(block.size()));
    CheckInetResult(!sent);
    const DWORD outcome = AskErrorDialog(handle);
    if (outcome == ERROR_SUCCESS) {
      return;
    }
    if (outcome == ERROR_CANCELLED) {
      throw SilentAbort();
    }
    // Anything else (credentials given, say): the same block again on the same request.
  }
}

void THTTPMSPoster::SendInPieces(HINTERNET handle, ByteStream& body, std::uint32_t size) {
  INTERNET_BUFFERSW upload{};
  upload.dwStructSize = sizeof upload;
  upload.dwBufferTotal = size;
  const BOOL started = HttpSendRequestExW(handle, &upload, nullptr, HSR_INITIATE | HSR_SYNC, 0);
  CheckInetResult(!started);
  std::vector<std::uint8_t> buffer(kPieceSize); // one buffer for every piece
  std::exception_ptr ended;
  try {
    for (;;) {
      const std::int64_t remaining = static_cast<std::int64_t>(size) - body.Position();
      const auto piece =
          static_cast<std::size_t>(std::clamp<std::int64_t>(remaining, 0, kPieceSize));
      if (piece == 0) {
        break;
      }
      const std::size_t read = body.Read(buffer.data(), piece);
      if (read == 0) {
        throw Error(kInvalidHttpRequest);
      }
      DWORD written = 0;
      const BOOL wrote =
          InternetWriteFile(handle, buffer.data(), static_cast<DWORD>(read), &written);
      CheckInetResult(!wrote);
      if (AskErrorDialog(handle) == ERROR_CANCELLED) {
        throw SilentAbort();
      }
    }
  } catch (...) {
    ended = std::current_exception();
  }
  // The upload is closed however the loop ended; its own failure takes the place of the loop's.
  const BOOL closed = HttpEndRequestW(handle, nullptr, 0, 0);
  CheckInetResult(!closed);
  if (ended) {
    std::rethrow_exception(ended);
  }
}

} // namespace opc

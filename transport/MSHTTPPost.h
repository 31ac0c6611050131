#pragma once

#include "base/ByteStream.h"
#include "transport/inet/WinInet.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace opc {

// The context record handed to the connection as its identity; nothing reads its fields.
struct TInetContext {
  void* Handle = nullptr;
  std::int32_t HandleCount = 0;
  std::uint32_t WaitMsg = 0;
  std::uint32_t MsgResult = 0;
  bool MsgError = false;
  bool MsgReceived = false;
  void* InfoCB = nullptr;
};

// Posts SOAP requests to one server URL through the platform HTTP client. Disposing of a poster
// closes its handles.
class THTTPMSPoster {
public:
  THTTPMSPoster() = default; // create
  ~THTTPMSPoster();
  THTTPMSPoster(const THTTPMSPoster&) = delete;
  THTTPMSPoster& operator=(const THTTPMSPoster&) = delete;

  // Sends Request (from its start) with the SOAPAction and appends the reply's body to Response.
  void PostData(std::u16string_view soapAction, ByteStream& request, ByteStream& response);

private:
  friend class PosterTestAccess; // the poster's tests post twice on one poster
  friend void PostSoapRequest(std::u16string_view, std::u16string_view, std::u16string_view,
                              std::u16string_view, std::u16string_view, ByteStream&, ByteStream&);

  void CheckInetResult(bool failed);
  void ParseURL(const std::u16string& url);
  void SetConnected(bool connect);
  inet::HINTERNET SendRequest(ByteStream& request);
  void SendInOneCall(inet::HINTERNET request, ByteStream& body, std::uint32_t size);
  void SendInPieces(inet::HINTERNET request, ByteStream& body, std::uint32_t size);
  void ReceiveResponse(inet::HINTERNET request, ByteStream& response);

  bool FActive = false;
  std::u16string FProxy;
  std::u16string FURL;
  std::u16string FProxyByPass;
  std::u16string FSoapAction;
  std::u16string FUserName;
  std::u16string FPassword;
  std::u16string FAgent;
  inet::HINTERNET FInetRoot = nullptr;
  inet::HINTERNET FInetConnect = nullptr;
  std::int32_t FURLScheme = 0;
  std::u16string FURLSite;
  std::u16string FURLHost;
  std::uint16_t FURLPort = 80;
  TInetContext FContext;
};

// The SOAPAction header line: "SOAPAction:" for an empty action, the action in double quotes
// otherwise (an action of exactly two double quotes goes as it is).
std::u16string SoapActionHeader(std::u16string_view action);

// The status and content type of the last reply this thread's posts received; status 0 when the
// last post ended before a reply came. A caller without a window (a summary line) reads it after
// PostSoapRequest, whether that returned or raised.
struct TResponseHead {
  std::uint32_t status = 0;
  std::u16string contentType;
};
const TResponseHead& LastResponseHead();

// Posts one request with a poster of its own and disposes of it, whether the post succeeded or
// raised.
void PostSoapRequest(std::u16string_view url, std::u16string_view proxy,
                     std::u16string_view userName, std::u16string_view password,
                     std::u16string_view soapAction, ByteStream& request, ByteStream& response);

} // namespace opc

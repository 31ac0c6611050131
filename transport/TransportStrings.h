#pragma once

namespace opc {

// The transport's messages and protocol words, defined once.
inline constexpr char16_t kSoapActionName[] = u"SOAPAction";
inline constexpr char16_t kNoOrInvalidUrl[] = u"no or invalid url";
inline constexpr char16_t kTextXmlUtf8[] = u"text/xml; charset=\"utf-8\"";
inline constexpr char16_t kInvalidHttpRequest[] = u"invalid HTTP request";
inline constexpr char16_t kTextPlain[] = u"text/plain";
inline constexpr char16_t kTextHtml[] = u"text/html";
inline constexpr char16_t kInvalidContentType[] =
    u"invalid content type: %s - SOAP required \"text/xml\"";
inline constexpr char16_t kAgentBase[] = u"Quelm XML DA Miltane client";
inline constexpr char16_t kAgentSuffix[] = u" (MS)";

inline constexpr char16_t kPlatformFailure[] = u"%s - URL:%s - SOAPAction:%s";
inline constexpr char16_t kStatusFailure[] = u"%s (%d) - '%s'";
inline constexpr char16_t kContentTypeLine[] = u"Content-Type: %s";

} // namespace opc

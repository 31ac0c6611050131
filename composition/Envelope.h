#pragma once

#include <string>
#include <string_view>

namespace opc {

inline constexpr char16_t kOpcXmlDaNamespace[] = u"http://opcfoundation.org/webservices/XMLDA/1.0/";
inline constexpr char16_t kSoapEnvelopeNamespace[] = u"http://schemas.xmlsoap.org/soap/envelope/";
inline constexpr char16_t kXmlSchemaNamespace[] = u"http://www.w3.org/2001/XMLSchema";
inline constexpr char16_t kXmlSchemaInstanceNamespace[] =
    u"http://www.w3.org/2001/XMLSchema-instance";

// The OPC XML-DA 1.0 namespace followed directly by the operation name.
std::u16string ComposeSoapAction(std::u16string_view operation);

// The complete SOAP 1.1 envelope around the editor text, its time placeholders filled in this
// order: "#now+1#" (now + 1 s), "#now#", "#now-1#" (now - 1 s), "#now+1m#" (now + 60 s). Each is
// taken from a fresh reading of the clock and the zone, whether or not it occurs in the body.
std::u16string ComposeEnvelope(std::u16string_view editorText);

} // namespace opc

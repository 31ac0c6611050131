#include "composition/Envelope.h"

#include "composition/PlatformClock.h"
#include "composition/ReplaceAll.h"
#include "composition/Timestamps.h"

namespace opc {

namespace {

struct Placeholder {
  const char16_t* token;
  long double seconds; // moved from now
};

constexpr Placeholder kPlaceholders[] = {
    {u"#now+1#", 1}, {u"#now#", 0}, {u"#now-1#", -1}, {u"#now+1m#", 60}};

} // namespace

std::u16string ComposeSoapAction(std::u16string_view operation) {
  return kOpcXmlDaNamespace + std::u16string(operation);
}

std::u16string ComposeEnvelope(std::u16string_view editorText) {
  std::u16string body(editorText);
  for (const Placeholder& row : kPlaceholders) {
    const TDateTime now = EncodeDateTime(CurrentClock().GetLocalTime());
    const TDateTime at = row.seconds == 0 ? now : AddSeconds(now, row.seconds);
    body = ReplaceAll(body, row.token, DateTimeToXsd(at, true));
  }
  std::u16string envelope;
  envelope.reserve(body.size() + 300);
  envelope += u"<?xml version=\"1.0\" encoding=\"utf-8\"?>";
  envelope += u"<SOAP-ENV:Envelope";
  envelope.append(u" xmlns:SOAP-ENV=\"").append(kSoapEnvelopeNamespace).append(u"\"");
  envelope.append(u" xmlns:xsd=\"").append(kXmlSchemaNamespace).append(u"\"");
  envelope.append(u" xmlns:xsi=\"").append(kXmlSchemaInstanceNamespace).append(u"\"");
  envelope += u">";
  envelope += u"<SOAP-ENV:Body>";
  envelope += body;
  envelope += u"</SOAP-ENV:Body>";
  envelope += u"</SOAP-ENV:Envelope>";
  return envelope;
}

} // namespace opc

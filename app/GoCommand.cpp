#include "app/GoCommand.h"

#include "app/BusyPointer.h"
#include "base/ByteStream.h"
#include "base/Utf8Encoding.h"
#include "composition/Envelope.h"
#include "roundtrip/FileMessages.h"
#include "roundtrip/ResponseFile.h"
#include "transport/MSHTTPPost.h"
#include "viewer/TWebBrowser.h"

#include <QFile>

namespace opc {

void RunGoCommand(const TGoInput& input, TWebBrowser& viewer) {
  const std::u16string action = ComposeSoapAction(input.operation.toStdU16String());
  const std::string envelope = EncodeUtf8(ComposeEnvelope(input.editorText.toStdU16String()));
  ByteStream request(std::vector<std::uint8_t>(envelope.begin(), envelope.end()));
  ByteStream response;
  const TBusyPointer busy;
  PostSoapRequest(input.url.toStdU16String(), u"", u"", u"", action, request, response);
  response.SetPosition(0);
  const QString path = input.folder + QString::fromUtf16(kResponseFileName);
  WriteResponseFile(QFile::encodeName(path).toStdString(), response.Bytes());
  viewer.Navigate(path);
}

} // namespace opc

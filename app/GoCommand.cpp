#include "app/GoCommand.h"

#include "app/BusyPointer.h"
#include "app/ExchangeDisplay.h"
#include "app/TRunInputGuard.h"
#include "base/ByteStream.h"
#include "base/Utf8Encoding.h"
#include "composition/Envelope.h"
#include "roundtrip/FileMessages.h"
#include "roundtrip/ReplyLimit.h"
#include "roundtrip/ResponseFile.h"
#include "transport/MSHTTPPost.h"
#include "transport/inet/ExchangeRecord.h"
#include "viewer/TWebBrowser.h"

#include <new>

namespace opc {

namespace {

// The post, with the window's input held back and Escape heard. A transfer the user stopped
// unwinds as a silent abort; a reply too large to hold ends in a message that says how much came.
void Post(const TGoInput& input, std::u16string_view action, ByteStream& request,
          ByteStream& response) {
  const TRunInputGuard guard;
  try {
    PostSoapRequest(input.url.toStdU16String(), u"", u"", u"", action, request, response);
  } catch (const StreamLimitExceeded& full) {
    throw Error(ReplyTooLargeMessage(full.Held));
  } catch (const std::bad_alloc&) {
    throw Error(ReplyTooLargeMessage(static_cast<std::size_t>(response.Size())));
  } catch (...) {
    if (guard.Cancelled()) {
      throw SilentAbort();
    }
    throw;
  }
}

} // namespace

void RunGoCommand(const TGoInput& input, TWebBrowser& viewer) {
  const std::u16string action = ComposeSoapAction(input.operation.toStdU16String());
  const std::string envelope = EncodeUtf8(ComposeEnvelope(input.editorText.toStdU16String()));
  ByteStream request(std::vector<std::uint8_t>(envelope.begin(), envelope.end()));
  ByteStream response;
  response.SetLimit(ReplyLimit());
  const TBusyPointer busy;
  // What went over the wire is recorded beside the run and shown when it ends, however it ends;
  // the envelope goes to the Exchange view from the request stream, the reply is named by size.
  inet::TExchangeRecord exchange;
  bool posted = false;
  try {
    {
      const inet::TRecordExchange recording(exchange);
      Post(input, action, request, response);
    }
    posted = true;
    response.SetPosition(0);
    const QString name = QString::fromUtf16(kResponseFileName);
    WriteResponseFile(input.folder.native() + name.toStdString(), response.Bytes());
    viewer.Navigate(input.viewerFolder + name);
  } catch (...) {
    ShowExchange(viewer, exchange, input.url, request, posted ? &response : nullptr,
                 std::current_exception());
    throw;
  }
  ShowExchange(viewer, exchange, input.url, request, &response, nullptr);
}

} // namespace opc

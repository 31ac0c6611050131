#include "app/ExchangeDisplay.h"

#include "base/ErrorText.h"
#include "transport/inet/ExchangeText.h"
#include "viewer/TWebBrowser.h"

namespace opc {

void ShowExchange(TWebBrowser& viewer, const inet::TExchangeRecord& record, const QString& url,
                  ByteStream& envelope, const ByteStream* reply,
                  std::exception_ptr failure) noexcept {
  try {
    inet::TRunSummary run;
    run.url = url.toStdString();
    run.envelopeBytes = static_cast<std::uint64_t>(envelope.Size());
    if (reply) {
      run.replyBytes = static_cast<std::uint64_t>(reply->Size());
    }
    run.replyNote = "written to Response.xml with CR LF line ends and shown in the XML, Raw and "
                    "Items views";
    run.failureNote = "The XML, Raw and Items views still show the reply of an earlier run.";
    run.envelopeNote = "shown below";
    if (failure) {
      const auto text = ErrorDisplayText(failure); // nothing for a run the user stopped
      run.failure = text ? QString::fromStdU16String(*text).toStdString() : std::string();
    }
    viewer.ShowExchange(QString::fromStdString(inet::ExchangeText(record, run)),
                        TReplyBytes(std::move(envelope)));
  } catch (...) {
    // The record is an aid; the run's outcome stands without it.
  }
}

} // namespace opc

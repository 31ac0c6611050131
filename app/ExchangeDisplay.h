#pragma once

#include "base/ByteStream.h"
#include "transport/inet/ExchangeRecord.h"

#include <QString>
#include <exception>

namespace opc {

class TWebBrowser;

// Puts a run's exchange into the viewer's Exchange view: the record of the wire, the envelope
// (whose bytes the view takes over from the request stream) and the run's outcome: the reply
// kept, or the failure its user is shown. Never throws: what reaches the user is the run's own
// outcome, never a failure to show its record.
void ShowExchange(TWebBrowser& viewer, const inet::TExchangeRecord& record, const QString& url,
                  ByteStream& envelope, const ByteStream* reply,
                  std::exception_ptr failure) noexcept;

} // namespace opc

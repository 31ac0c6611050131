#pragma once

#include <curl/curl.h>
#include <string_view>

namespace opc::inet::detail {

// A transfer starts on an easy handle: while a TRecordExchange is in scope on this thread, a
// leg is opened for it and the client is asked to report what it sends and receives.
void BeginRecording(CURL* easy);
// The transfer is over (its handle is about to go): its connection times are noted.
void EndRecording(CURL* easy) noexcept;

// A request the layer sends on a connection of its own (a tunnel's CONNECT to a proxy, with its
// handshake), and the reply to it, recorded as legs of their own. They go before the transfer
// that asked for the connection, which has sent nothing yet, so the record keeps the wire's order.
void RecordOwnRequest(std::string_view head, std::string_view note) noexcept;
void RecordOwnReply(std::string_view head) noexcept;

} // namespace opc::inet::detail

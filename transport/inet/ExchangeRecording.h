#pragma once

#include <curl/curl.h>

namespace opc::inet::detail {

// A transfer starts on an easy handle: while a TRecordExchange is in scope on this thread, a
// leg is opened for it and the client is asked to report what it sends and receives.
void BeginRecording(CURL* easy);
// The transfer is over (its handle is about to go): its connection times are noted.
void EndRecording(CURL* easy) noexcept;

} // namespace opc::inet::detail

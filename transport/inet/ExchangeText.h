#pragma once

#include "transport/inet/ExchangeRecord.h"

#include <cstdint>
#include <optional>
#include <string>

namespace opc::inet {

// What the caller knows of a run beside what went over the wire.
struct TRunSummary {
  std::string url;                 // UTF-8
  std::uint64_t envelopeBytes = 0; // the request body the caller posted
  // The reply body as the caller kept it, when the post returned one.
  std::optional<std::uint64_t> replyBytes;
  // A run that failed: the message its user was shown, empty for a run stopped without one.
  std::optional<std::string> failure;
  // What the caller did with the reply, or keeps after a failure, and where the envelope is
  // shown, in its own words (empty: nothing said).
  std::string replyNote;
  std::string failureNote;
  std::string envelopeNote;
};

// The record as text, in the manner of a verbose HTTP client: "* " lines for what the client
// did, "> " for what it sent, "< " for what it received, then each leg's byte counts and times.
// Bodies are named by their size only. Bytes of a head outside printable ASCII show as \xNN, so
// that what a server sent is never mistaken for something else. UTF-8.
std::string ExchangeText(const TExchangeRecord& record, const TRunSummary& run);

} // namespace opc::inet

#pragma once

#include <atomic>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace opc {

// Where and why a reply is not well-formed XML with namespaces.
struct TParseError {
  std::size_t line = 0;   // 1-based
  std::size_t column = 0; // 1-based, in characters
  std::string reason;
};

// Thrown by the reading steps when a later load has made this one pointless.
struct TLoadCancelled {};

// Judges a whole reply against XML 1.0 and Namespaces in XML 1.0 without building anything from
// it: fetches nothing, reads no DTD or external entity, expands internal entities only up to a
// bounded amplification, and keeps no state per nesting level on the call stack. Returns the
// first fault, or nothing when the reply is well-formed. Checks `cancelled` between pieces.
std::optional<TParseError> CheckWellFormed(std::string_view bytes,
                                           const std::atomic<bool>* cancelled = nullptr);

} // namespace opc

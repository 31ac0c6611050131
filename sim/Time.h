#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace opc::sim {

using TClock = std::chrono::system_clock;

// "2024-05-01T14:03:07.123+02:00" for the local zone.
std::string XsdNow();
std::string XsdTime(TClock::time_point when);
// Reads an XML Schema dateTime; without a zone it is local time.
std::optional<TClock::time_point> ParseXsdTime(const std::string& text);

} // namespace opc::sim

#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace opc::sim {

using TClock = std::chrono::system_clock;

// "2024-05-01T14:03:07.123+02:00" for the local zone.
std::string XsdNow();
std::string XsdTime(TClock::time_point when);
// Reads any text of the XML Schema dateTime lexical space: any number of fractional digits, "Z",
// a zone offset, or no zone for local time; none for a text outside it (a 30 February, a zone
// beyond 14 hours, text after the value). Times beyond what the clock holds give its ends.
std::optional<TClock::time_point> ParseXsdTime(std::string_view text);

} // namespace opc::sim

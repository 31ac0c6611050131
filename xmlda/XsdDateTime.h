#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace opc::xmlda {

// An xsd:dateTime as a server wrote it. Servers differ: some send no fraction, some seven digits,
// some no zone at all; all of those are read. More than seven fractional digits are read and cut
// to 100 ns, the finest step any server's clock has.
struct TDateTime {
  std::string text;
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  std::int32_t ticks = 0; // the fraction of the second in 100 ns steps
  int fractionDigits = 0; // as written
  bool hasZone = false;   // "Z" or an offset was written
  int offsetMinutes = 0;  // local time = UTC + offset

  // Microseconds since 1970-01-01T00:00:00Z. Without a zone the caller says which offset to
  // assume (the value names a wall-clock time somewhere, not an instant).
  std::int64_t UnixMicros(int assumedOffsetMinutes = 0) const;
};

// Reads the lexical form of xsd:dateTime (leading and trailing blanks allowed, as the schema's
// whitespace collapsing does). Returns nothing for any other text, including a day the month does
// not have or an hour 24 that is not 24:00:00.
std::optional<TDateTime> ParseXsdDateTime(std::string_view text);

} // namespace opc::xmlda

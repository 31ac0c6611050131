#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace opc::inet::detail {

// The status line and header lines of one reply, fed line by line as they arrive. A new status
// line starts a new reply (an interim 1xx, or a 401 that is answered again with credentials).
class TResponseHead {
public:
  // One line as received, with or without its CR LF. Returns true when it ended the header block.
  bool Feed(std::string_view line);

  int Status() const noexcept { return FStatus; }
  const std::string& Reason() const noexcept { return FReason; }
  bool Ended() const noexcept { return FEnded; }
  bool Malformed() const noexcept { return FMalformed; }

  // The occurrence'th value of the named header (names compared without ASCII case).
  std::optional<std::string_view> Header(std::string_view name, std::size_t occurrence) const;
  // Status line and header lines, each ending in CR LF, and the empty line.
  std::string Raw() const;

private:
  int FStatus = 0;
  std::string FReason;
  std::string FStatusLine;
  std::vector<std::pair<std::string, std::string>> FHeaders;
  bool FEnded = false;
  bool FMalformed = false;
};

} // namespace opc::inet::detail

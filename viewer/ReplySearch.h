#pragma once

#include "viewer/Reply.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace opc {

// Text to find in a reply's own bytes, encoded as the reply is, so that a UTF-16 reply is
// searched as surely as a UTF-8 one. Without `matchCase`, ASCII letters match either case.
class TReplySearch {
public:
  TReplySearch(const TReply& reply, std::string_view utf8Needle, bool matchCase);

  bool Empty() const { return FNeedle.empty(); }
  std::size_t Length() const { return FNeedle.size(); } // in the reply's bytes
  // The first match at or after `from` (byte offset), or before `from` going backwards.
  std::optional<std::uint64_t> Next(std::uint64_t from) const;
  std::optional<std::uint64_t> Previous(std::uint64_t before) const;
  // Matches that start before `offset`, and all of them; counting stops at `limit`.
  std::size_t CountBefore(std::uint64_t offset, std::size_t limit) const;

private:
  bool MatchesAt(std::size_t at) const;
  bool Aligned(std::size_t at) const;

  std::string_view FBytes;
  std::size_t FTextStart;
  std::size_t FUnit;
  std::string FNeedle;
  bool FMatchCase;
};

} // namespace opc

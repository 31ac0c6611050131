#include "roundtrip/ReplyLimit.h"

#include "base/Format.h"

#include <algorithm>
#include <cstdint>
#include <unistd.h>

namespace opc {

namespace {

std::size_t& Override() {
  static std::size_t limit = 0;
  return limit;
}

std::size_t DefaultLimit() {
  constexpr std::size_t kMost = std::size_t{2} << 30;
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long pageSize = ::sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) {
    return kMost;
  }
  const auto memory = static_cast<std::size_t>(pages) * static_cast<std::size_t>(pageSize);
  return std::min(kMost, memory / 4);
}

} // namespace

std::size_t ReplyLimit() {
  return Override() ? Override() : DefaultLimit();
}

void SetReplyLimit(std::size_t bytes) {
  Override() = bytes;
}

std::u16string ReplyTooLargeMessage(std::size_t received) {
  return Format(u"Not enough memory to hold the reply: the transfer was stopped after %d bytes",
                {static_cast<std::int64_t>(received)});
}

} // namespace opc

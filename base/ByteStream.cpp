#include "base/ByteStream.h"

#include "base/Error.h"

#include <algorithm>
#include <cstring>

namespace opc {

void ByteStream::SetPosition(std::int64_t position) {
  if (position < 0) {
    throw Error(u"Stream position out of range");
  }
  FPosition = position;
}

std::size_t ByteStream::Read(void* buffer, std::size_t count) noexcept {
  const auto size = static_cast<std::int64_t>(FBytes.size());
  if (FPosition >= size || count == 0) {
    return 0;
  }
  const auto n = std::min<std::size_t>(count, static_cast<std::size_t>(size - FPosition));
  std::memcpy(buffer, FBytes.data() + FPosition, n);
  FPosition += static_cast<std::int64_t>(n);
  return n;
}

void ByteStream::Write(const void* buffer, std::size_t count) {
  if (count == 0) {
    return;
  }
  const auto end = static_cast<std::size_t>(FPosition) + count;
  if (end > FBytes.size()) {
    if (end > FBytes.capacity()) {
      FBytes.reserve(std::max(end, FBytes.capacity() * 2));
    }
    FBytes.resize(end);
  }
  std::memcpy(FBytes.data() + FPosition, buffer, count);
  FPosition = static_cast<std::int64_t>(end);
}

} // namespace opc

#include "base/ByteStream.h"

#include "base/Error.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <sys/mman.h>
#include <unistd.h>
#include <utility>

namespace opc {

ByteStream::ByteStream(const std::vector<std::uint8_t>& bytes) {
  Write(bytes.data(), bytes.size());
  FPosition = 0;
}

ByteStream::ByteStream(ByteStream&& other) noexcept
    : FData(std::exchange(other.FData, nullptr)), FSize(std::exchange(other.FSize, 0)),
      FCapacity(std::exchange(other.FCapacity, 0)), FPosition(std::exchange(other.FPosition, 0)),
      FLimit(other.FLimit) {}

ByteStream& ByteStream::operator=(ByteStream&& other) noexcept {
  if (this != &other) {
    std::free(FData);
    FData = std::exchange(other.FData, nullptr);
    FSize = std::exchange(other.FSize, 0);
    FCapacity = std::exchange(other.FCapacity, 0);
    FPosition = std::exchange(other.FPosition, 0);
    FLimit = other.FLimit;
  }
  return *this;
}

ByteStream::~ByteStream() {
  std::free(FData);
}

ByteStream::TReleased ByteStream::Release() noexcept {
  const TReleased block{std::exchange(FData, nullptr), std::exchange(FSize, 0)};
  FCapacity = 0;
  FPosition = 0;
  return block;
}

void ByteStream::Reserve(std::size_t capacity) {
  if (capacity <= FCapacity) {
    return;
  }
  auto* grown = static_cast<std::uint8_t*>(std::realloc(FData, capacity));
  if (!grown) {
    throw std::bad_alloc();
  }
  FData = grown;
  FCapacity = capacity;
}

void ByteStream::SetPosition(std::int64_t position) {
  if (position < 0) {
    throw Error(u"Stream position out of range");
  }
  FPosition = position;
}

std::size_t ByteStream::Read(void* buffer, std::size_t count) noexcept {
  const auto size = static_cast<std::int64_t>(FSize);
  if (FPosition >= size || count == 0) {
    return 0;
  }
  const auto n = std::min<std::size_t>(count, static_cast<std::size_t>(size - FPosition));
  std::memcpy(buffer, FData + FPosition, n);
  FPosition += static_cast<std::int64_t>(n);
  return n;
}

std::uint8_t* ByteStream::Claim(std::size_t count) {
  const auto at = static_cast<std::size_t>(FPosition);
  const std::size_t end = at + count;
  if (end > FLimit || end < at) {
    throw StreamLimitExceeded(FSize);
  }
  if (end > FCapacity) {
    Reserve(std::min(std::max({end, FCapacity * 2, std::size_t{4096}}), FLimit));
  }
  if (at > FSize) {
    std::memset(FData + FSize, 0, at - FSize); // the gap a seek past the end left
    FSize = at;
  }
  Prefault(FData + at, count);
  return FData + at;
}

// A large piece about to be filled has its fresh pages made in one call rather than one page
// fault per 4 KiB as the copy reaches each: for a reply of many megabytes those faults are a fair
// part of the time it takes to arrive. Where the kernel does not know the advice, it refuses it
// and the pages fault in as before.
void ByteStream::Prefault(std::uint8_t* at, std::size_t count) noexcept {
  constexpr std::size_t kFrom = 256 * 1024;
  const long page = ::sysconf(_SC_PAGESIZE);
  if (count < kFrom || page <= 0) {
    return;
  }
  const auto size = static_cast<std::uintptr_t>(page);
  const auto start = reinterpret_cast<std::uintptr_t>(at);
  const std::uintptr_t first = (start + size - 1) / size * size;
  const std::uintptr_t end = (start + count) / size * size;
  if (end > first) {
    ::madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE);
  }
}

void ByteStream::Commit(std::size_t count) noexcept {
  const std::size_t end = static_cast<std::size_t>(FPosition) + count;
  FSize = std::max(FSize, end);
  FPosition = static_cast<std::int64_t>(end);
}

void ByteStream::Write(const void* buffer, std::size_t count) {
  if (count == 0) {
    return;
  }
  std::memcpy(Claim(count), buffer, count);
  Commit(count);
}

} // namespace opc

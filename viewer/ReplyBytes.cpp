#include "viewer/ReplyBytes.h"

#include "base/UniqueFd.h"
#include "viewer/WellFormed.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace opc {

TReplyBytes::TReplyBytes(std::string_view bytes) {
  Grow(bytes.size());
  if (!bytes.empty()) {
    std::memcpy(FData, bytes.data(), bytes.size());
  }
  FSize = bytes.size();
}

// Both blocks come from std::realloc and go with std::free, so one owner can take the other's.
TReplyBytes::TReplyBytes(ByteStream&& stream) noexcept {
  const ByteStream::TReleased block = stream.Release();
  FData = reinterpret_cast<char*>(block.data);
  FSize = block.size;
  FCapacity = block.size;
}

TReplyBytes::TReplyBytes(TReplyBytes&& other) noexcept
    : FData(std::exchange(other.FData, nullptr)), FSize(std::exchange(other.FSize, 0)),
      FCapacity(std::exchange(other.FCapacity, 0)) {}

TReplyBytes& TReplyBytes::operator=(TReplyBytes&& other) noexcept {
  if (this != &other) {
    std::free(FData);
    FData = std::exchange(other.FData, nullptr);
    FSize = std::exchange(other.FSize, 0);
    FCapacity = std::exchange(other.FCapacity, 0);
  }
  return *this;
}

TReplyBytes::~TReplyBytes() {
  std::free(FData);
}

// realloc rather than a vector: a large block moves by its pages, and nothing is zeroed first.
void TReplyBytes::Grow(std::size_t capacity) {
  void* grown = std::realloc(FData, std::max<std::size_t>(capacity, 1));
  if (!grown) {
    throw std::bad_alloc();
  }
  FData = static_cast<char*>(grown);
  FCapacity = std::max<std::size_t>(capacity, 1);
}

TReplyBytes TReplyBytes::Read(const std::string& path, const std::atomic<bool>* cancelled) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat info {};
  if (!fd || ::fstat(fd.get(), &info) != 0) {
    throw std::system_error(errno, std::generic_category());
  }
  TReplyBytes bytes;
  // One byte more than the file holds, so that its end shows without growing the block.
  bytes.Grow(static_cast<std::size_t>(std::max<off_t>(info.st_size, 0)) + 1);
  constexpr std::size_t kPiece = std::size_t{16} << 20;
  for (;;) {
    if (cancelled && cancelled->load(std::memory_order_relaxed)) {
      throw TLoadCancelled{};
    }
    if (bytes.FSize == bytes.FCapacity) {
      bytes.Grow(bytes.FCapacity + bytes.FCapacity / 2); // the file grew since fstat
    }
    const ssize_t n = ::read(fd.get(), bytes.FData + bytes.FSize,
                             std::min(kPiece, bytes.FCapacity - bytes.FSize));
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0) {
      throw std::system_error(errno, std::generic_category());
    }
    if (n == 0) {
      return bytes;
    }
    bytes.FSize += static_cast<std::size_t>(n);
  }
}

} // namespace opc

#pragma once

#include "base/ByteStream.h"

#include <atomic>
#include <cstddef>
#include <string>
#include <string_view>

namespace opc {

// A reply file's bytes, read once into one block of memory the reader owns. Not mapped: the Go
// command truncates and rewrites the response file while the previous reply may still be on
// screen, and a mapping would then fault.
class TReplyBytes {
public:
  TReplyBytes() = default;
  explicit TReplyBytes(std::string_view bytes); // a copy, for replies not in a file
  // Takes the stream's block as it is, without a copy; the stream is left empty.
  explicit TReplyBytes(ByteStream&& stream) noexcept;
  TReplyBytes(TReplyBytes&& other) noexcept;
  TReplyBytes& operator=(TReplyBytes&& other) noexcept;
  TReplyBytes(const TReplyBytes&) = delete;
  TReplyBytes& operator=(const TReplyBytes&) = delete;
  ~TReplyBytes();

  // Raises std::system_error when the file cannot be read, std::bad_alloc when it cannot be
  // held, TLoadCancelled when `cancelled` is set on the way.
  static TReplyBytes Read(const std::string& path, const std::atomic<bool>* cancelled = nullptr);

  std::string_view View() const noexcept { return {FData, FSize}; }

private:
  void Grow(std::size_t capacity);
  char* FData = nullptr;
  std::size_t FSize = 0;
  std::size_t FCapacity = 0;
};

} // namespace opc

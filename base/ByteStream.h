#pragma once

#include "base/Error.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace opc {

// Raised by a write that would take a stream past its limit; the stream keeps what it held.
class StreamLimitExceeded : public Error {
public:
  explicit StreamLimitExceeded(std::size_t held)
      : Error(u"Stream size limit exceeded"), Held(held) {}
  std::size_t Held;
};

// A seekable in-memory sequence of bytes with a current position. The request and response bodies
// travel in these. Writing past the end grows the stream (a gap left by a seek is zero-filled).
//
// The bytes live in one block grown with realloc: for a large body the C library moves the
// pages instead of copying them, so a reply of hundreds of megabytes never stands in memory twice
// while it grows.
class ByteStream {
public:
  ByteStream() = default;
  explicit ByteStream(const std::vector<std::uint8_t>& bytes);
  ByteStream(ByteStream&& other) noexcept;
  ByteStream& operator=(ByteStream&& other) noexcept;
  ByteStream(const ByteStream&) = delete;
  ByteStream& operator=(const ByteStream&) = delete;
  ~ByteStream();

  std::int64_t Size() const noexcept { return static_cast<std::int64_t>(FSize); }
  std::int64_t Position() const noexcept { return FPosition; }
  void SetPosition(std::int64_t position);

  // Reads up to count bytes from the position and returns how many were read.
  std::size_t Read(void* buffer, std::size_t count) noexcept;
  // Writes count bytes at the position and moves the position behind them.
  void Write(const void* buffer, std::size_t count);

  // Room for count bytes at the position, for a reader that fills the stream in place instead of
  // handing Write a buffer of its own; Commit(n) then keeps the first n of them and moves the
  // position behind them. Claim raises as Write does, before anything is claimed, and zero-fills a
  // gap left by a seek at once.
  std::uint8_t* Claim(std::size_t count);
  void Commit(std::size_t count) noexcept;

  void Reserve(std::size_t capacity);
  // The most bytes the stream may hold; a write beyond raises StreamLimitExceeded. A reply from a
  // server that never stops must end in a message, not in the kernel ending the program.
  void SetLimit(std::size_t limit) noexcept { FLimit = limit; }
  std::span<const std::uint8_t> Bytes() const noexcept { return {FData, FSize}; }
  // Hands the block over to another owner, which frees it with std::free; the stream is left
  // empty. A body kept after its run (to be shown) then moves instead of being copied.
  struct TReleased {
    std::uint8_t* data;
    std::size_t size;
  };
  TReleased Release() noexcept;

private:
  static void Prefault(std::uint8_t* at, std::size_t count) noexcept;

  std::uint8_t* FData = nullptr;
  std::size_t FSize = 0;
  std::size_t FCapacity = 0;
  std::int64_t FPosition = 0;
  std::size_t FLimit = SIZE_MAX;
};

} // namespace opc

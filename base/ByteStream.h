#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace opc {

// A seekable in-memory sequence of bytes with a current position. The request and response bodies
// travel in these. Writing past the end grows the stream (a gap left by a seek is zero-filled).
class ByteStream {
public:
  ByteStream() = default;
  explicit ByteStream(std::vector<std::uint8_t> bytes) : FBytes(std::move(bytes)) {}

  std::int64_t Size() const noexcept { return static_cast<std::int64_t>(FBytes.size()); }
  std::int64_t Position() const noexcept { return FPosition; }
  void SetPosition(std::int64_t position);

  // Reads up to count bytes from the position and returns how many were read.
  std::size_t Read(void* buffer, std::size_t count) noexcept;
  // Writes count bytes at the position and moves the position behind them.
  void Write(const void* buffer, std::size_t count);

  void Reserve(std::size_t capacity) { FBytes.reserve(capacity); }
  std::span<const std::uint8_t> Bytes() const noexcept { return FBytes; }

private:
  std::vector<std::uint8_t> FBytes;
  std::int64_t FPosition = 0;
};

} // namespace opc

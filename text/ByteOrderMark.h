#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace opc {

enum class TextEncoding { Ansi, Utf8, Utf16LE, Utf16BE };

struct ByteOrderMark {
  TextEncoding encoding;
  std::size_t length; // bytes of the mark; 0 for Ansi
};

// Tells the encoding from the leading bytes, tested in the order EF BB BF, FF FE, FE FF;
// anything else is the 8-bit code page. FF FE 00 00 is UTF-16 little-endian.
ByteOrderMark DetectByteOrderMark(std::span<const std::uint8_t> bytes) noexcept;

} // namespace opc

#include "text/ByteOrderMark.h"

namespace opc {

ByteOrderMark DetectByteOrderMark(std::span<const std::uint8_t> b) noexcept {
  if (b.size() >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
    return {TextEncoding::Utf8, 3};
  }
  if (b.size() >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
    return {TextEncoding::Utf16LE, 2};
  }
  if (b.size() >= 2 && b[0] == 0xFE && b[1] == 0xFF) {
    return {TextEncoding::Utf16BE, 2};
  }
  return {TextEncoding::Ansi, 0};
}

} // namespace opc

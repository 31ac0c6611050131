#include "text/Utf16.h"

namespace opc {

std::u16string DecodeUtf16(std::span<const std::uint8_t> bytes, bool bigEndian) {
  std::u16string out(bytes.size() / 2, u'\0');
  const int hi = bigEndian ? 0 : 1;
  for (std::size_t i = 0; i < out.size(); ++i) {
    out[i] = static_cast<char16_t>((bytes[2 * i + hi] << 8) | bytes[2 * i + (1 - hi)]);
  }
  return out;
}

} // namespace opc

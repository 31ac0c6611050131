#include "text/CodePage.h"

namespace opc {

namespace {

constexpr char16_t kHighHalf[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t ToChar(std::uint8_t b) noexcept {
  return (b >= 0x80 && b < 0xA0) ? kHighHalf[b - 0x80] : static_cast<char16_t>(b);
}

} // namespace

std::u16string DecodeAnsi(std::span<const std::uint8_t> bytes) {
  std::u16string out(bytes.size(), u'\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    out[i] = ToChar(bytes[i]);
  }
  return out;
}

std::string EncodeAnsi(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char16_t c : text) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
      out += static_cast<char>(c);
      continue;
    }
    char byte = '?';
    for (int i = 0; i < 32; ++i) {
      if (kHighHalf[i] == c) {
        byte = static_cast<char>(0x80 + i);
        break;
      }
    }
    out += byte;
  }
  return out;
}

} // namespace opc

#include "base/LocaleText.h"

#include <cwchar>

namespace opc {

namespace {

void AppendCodePoint(std::u16string& out, char32_t c) {
  if (c >= 0x10000 && c <= 0x10FFFF) {
    c -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (c >> 10));
    out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
  } else if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
    out += u'\uFFFD';
  } else {
    out += static_cast<char16_t>(c);
  }
}

} // namespace

std::u16string DecodeLocaleText(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  std::mbstate_t state{};
  while (!bytes.empty()) {
    wchar_t wide = 0;
    const std::size_t n = std::mbrtowc(&wide, bytes.data(), bytes.size(), &state);
    if (n == static_cast<std::size_t>(-1) || n == static_cast<std::size_t>(-2)) {
      // An invalid or cut sequence: one byte is lost, the rest still decodes.
      out += u'\uFFFD';
      bytes.remove_prefix(1);
      state = std::mbstate_t{};
      continue;
    }
    AppendCodePoint(out, static_cast<char32_t>(wide));
    bytes.remove_prefix(n == 0 ? 1 : n);
  }
  return out;
}

} // namespace opc

#include "text/Utf8.h"

#include "base/Error.h"
#include "text/TextMessages.h"

namespace opc {

namespace {

// Decodes one sequence starting at bytes[i]; returns its length, or 0 when it is not valid.
std::size_t DecodeOne(std::span<const std::uint8_t> b, std::size_t i, char32_t& cp) noexcept {
  const std::uint8_t lead = b[i];
  if (lead < 0x80) {
    cp = lead;
    return 1;
  }
  std::size_t length;
  char32_t min;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, cp = lead & 0x1F, min = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, cp = lead & 0x0F, min = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, cp = lead & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (b.size() - i < length) {
    return 0;
  }
  for (std::size_t k = 1; k < length; ++k) {
    const std::uint8_t next = b[i + k];
    if ((next & 0xC0) != 0x80) {
      return 0;
    }
    cp = (cp << 6) | (next & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    return 0;
  }
  return length;
}

} // namespace

bool IsValidUtf8(std::span<const std::uint8_t> bytes) noexcept {
  char32_t cp;
  for (std::size_t i = 0; i < bytes.size();) {
    // Runs of ASCII are the common case in XML; skip them without decoding.
    if (bytes[i] < 0x80) {
      ++i;
      continue;
    }
    const std::size_t n = DecodeOne(bytes, i, cp);
    if (n == 0) {
      return false;
    }
    i += n;
  }
  return true;
}

std::u16string DecodeUtf8(std::span<const std::uint8_t> bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  char32_t cp;
  for (std::size_t i = 0; i < bytes.size();) {
    const std::size_t n = DecodeOne(bytes, i, cp);
    if (n == 0) {
      throw Error(kNoMappingMessage);
    }
    i += n;
    if (cp < 0x10000) {
      out += static_cast<char16_t>(cp);
    } else {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    }
  }
  return out;
}

} // namespace opc

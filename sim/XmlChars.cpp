#include "sim/XmlChars.h"

namespace opc::sim {

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";

// The length of the UTF-8 sequence at `at` and its code point; 0 when it is not one.
std::size_t Sequence(std::string_view text, std::size_t at, char32_t& code) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
  const unsigned char lead = byte(0);
  std::size_t length;
  char32_t min;
  if (lead < 0x80) {
    code = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, code = lead & 0x1F, min = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, code = lead & 0x0F, min = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, code = lead & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (at + length > text.size()) {
    return 0;
  }
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) {
      return 0;
    }
    code = (code << 6) | (byte(i) & 0x3F);
  }
  if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
    return 0;
  }
  return length;
}

bool XmlChar(char32_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c != 0xFFFE && c != 0xFFFF);
}

} // namespace

std::size_t InvalidUtf8At(std::string_view text) {
  char32_t code;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = Sequence(text, at, code);
    if (length == 0) {
      return at;
    }
    at += length;
  }
  return std::string_view::npos;
}

std::size_t InvalidUtf16At(std::string_view text, bool bigEndian) {
  const auto unit = [&](std::size_t at) {
    const auto first = static_cast<unsigned char>(text[at]);
    const auto second = static_cast<unsigned char>(text[at + 1]);
    return static_cast<char16_t>(bigEndian ? first << 8 | second : second << 8 | first);
  };
  std::size_t at = 0;
  for (; at + 1 < text.size(); at += 2) {
    const char16_t u = unit(at);
    if (u >= 0xDC00 && u <= 0xDFFF) {
      return at;
    }
    if (u >= 0xD800 && u <= 0xDBFF) {
      if (at + 3 >= text.size() || unit(at + 2) < 0xDC00 || unit(at + 2) > 0xDFFF) {
        return at;
      }
      at += 2;
    }
  }
  return at < text.size() ? at : std::string_view::npos;
}

std::string XmlSafe(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  char32_t code;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = Sequence(text, at, code);
    if (length == 0) {
      out += kReplacement;
      ++at; // one replacement for each byte that starts no sequence
    } else {
      if (XmlChar(code)) {
        out.append(text.data() + at, length);
      } else {
        out += kReplacement;
      }
      at += length;
    }
  }
  return out;
}

} // namespace opc::sim

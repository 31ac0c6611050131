#include "text/LineBreaks.h"

namespace opc {

std::u16string NormalizeLineBreaks(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size() + text.size() / 16);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c == u'\r') {
      out += u"\r\n";
      if (i + 1 < text.size() && text[i + 1] == u'\n') {
        ++i;
      }
    } else if (c == u'\n') {
      out += u"\r\n";
    } else {
      out += c;
    }
  }
  return out;
}

std::vector<std::u16string_view> SplitLines(std::u16string_view text) {
  std::vector<std::u16string_view> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c != u'\r' && c != u'\n') {
      continue;
    }
    lines.push_back(text.substr(start, i - start));
    if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
      ++i;
    }
    start = i + 1;
  }
  if (start < text.size()) {
    lines.push_back(text.substr(start));
  }
  return lines;
}

std::u16string JoinLinesCrLf(const std::vector<std::u16string_view>& lines) {
  std::size_t total = 0;
  for (const auto& line : lines) {
    total += line.size() + 2;
  }
  std::u16string out;
  out.reserve(total);
  for (const auto& line : lines) {
    out += line;
    out += u"\r\n";
  }
  return out;
}

} // namespace opc

#include "base/XmlEscape.h"

namespace opc {

void AppendXmlEscaped(std::string& out, std::string_view text, bool attribute) {
  std::size_t plain = 0; // start of the run of characters that go as they are
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char* escaped = nullptr;
    switch (text[i]) {
    case '&':
      escaped = "&amp;";
      break;
    case '<':
      escaped = "&lt;";
      break;
    case '>':
      escaped = "&gt;";
      break;
    case '"':
      escaped = attribute ? "&quot;" : nullptr;
      break;
    case '\n':
      escaped = attribute ? "&#10;" : nullptr;
      break;
    case '\r':
      escaped = "&#13;"; // a parser would turn it into a line feed
      break;
    case '\t':
      escaped = attribute ? "&#9;" : nullptr;
      break;
    default:
      break;
    }
    if (escaped) {
      out.append(text.data() + plain, i - plain);
      out += escaped;
      plain = i + 1;
    }
  }
  out.append(text.data() + plain, text.size() - plain);
}

} // namespace opc

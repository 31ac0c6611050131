#include "base/XmlEscape.h"

namespace opc {

void AppendXmlEscaped(std::string& out, std::string_view text, bool attribute) {
  for (const char c : text) {
    switch (c) {
    case '&':
      out += "&amp;";
      break;
    case '<':
      out += "&lt;";
      break;
    case '>':
      out += "&gt;";
      break;
    case '"':
      out += attribute ? "&quot;" : "\"";
      break;
    case '\n':
      out += attribute ? "&#10;" : "\n";
      break;
    case '\r':
      out += "&#13;"; // a parser would turn it into a line feed
      break;
    case '\t':
      out += attribute ? "&#9;" : "\t";
      break;
    default:
      out += c;
    }
  }
}

} // namespace opc

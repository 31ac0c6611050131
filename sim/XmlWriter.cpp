#include "sim/XmlWriter.h"

#include "base/XmlEscape.h"
#include "sim/XmlChars.h"

namespace opc::sim {

std::string Escape(std::string_view text, bool attribute) {
  std::string out;
  out.reserve(text.size());
  AppendXmlEscaped(out, XmlSafe(text), attribute);
  return out;
}

void TXmlWriter::EndStartTag() {
  if (FInStartTag) {
    FOut += '>';
    FInStartTag = false;
  }
}

TXmlWriter& TXmlWriter::Open(std::string_view name) {
  EndStartTag();
  FOut += '<';
  FOut += name;
  FOpen.emplace_back(name);
  FInStartTag = true;
  return *this;
}

TXmlWriter& TXmlWriter::Attr(std::string_view name, std::string_view value) {
  FOut += ' ';
  FOut += name;
  FOut += "=\"";
  FOut += Escape(value, true);
  FOut += '"';
  return *this;
}

TXmlWriter& TXmlWriter::Text(std::string_view text) {
  EndStartTag();
  FOut += Escape(text, false);
  return *this;
}

TXmlWriter& TXmlWriter::Close() {
  if (FInStartTag) {
    FOut += "/>";
    FInStartTag = false;
  } else {
    FOut += "</" + FOpen.back() + ">";
  }
  FOpen.pop_back();
  return *this;
}

TXmlWriter& TXmlWriter::Element(std::string_view name, std::string_view text) {
  return Open(name).Text(text).Close();
}

std::string TXmlWriter::Take() {
  while (!FOpen.empty()) {
    Close();
  }
  return std::move(FOut);
}

} // namespace opc::sim

#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace opc::sim {

// Builds reply XML as text: elements opened and closed in order, attributes and text escaped,
// and made well-formed UTF-8 whatever bytes they came as (see XmlSafe).
class TXmlWriter {
public:
  TXmlWriter& Open(std::string_view name);
  TXmlWriter& Attr(std::string_view name, std::string_view value);
  TXmlWriter& Text(std::string_view text);
  TXmlWriter& Close();
  TXmlWriter& Element(std::string_view name, std::string_view text);
  std::string Take();

private:
  void EndStartTag();
  std::string FOut;
  std::vector<std::string> FOpen;
  bool FInStartTag = false;
};

std::string Escape(std::string_view text, bool attribute);

} // namespace opc::sim

#pragma once

#include <string>
#include <string_view>

namespace opc {

// Text as it may stand in XML: "&", "<" and ">" always escaped, the double quote too inside an
// attribute value; CR always and, inside an attribute, LF and TAB as character references, so that
// a parser gives them back as they were.
void AppendXmlEscaped(std::string& out, std::string_view text, bool attribute);

} // namespace opc

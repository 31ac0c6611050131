#pragma once

#include "xmlda/SimpleValues.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace opc::xmlda {

// The namespace declarations in scope while a document is read, to resolve the QNames that stand
// in attribute values and text (xsi:type, ResultID, faultcode), which the XML reader leaves raw.
class TNamespaceScope {
public:
  void Declare(std::string_view prefix, std::string_view uri);
  void Undeclare(std::string_view prefix);
  // "p:local" by the declaration of p, "local" by the default namespace. Nothing when the prefix
  // is not declared or the text is not a QName.
  std::optional<TQName> Resolve(std::string_view qname) const;

private:
  std::vector<std::pair<std::string, std::string>> FDeclarations; // innermost last
};

} // namespace opc::xmlda

#include "xmlda/NamespaceScope.h"

namespace opc::xmlda {

void TNamespaceScope::Declare(std::string_view prefix, std::string_view uri) {
  FDeclarations.emplace_back(prefix, uri);
}

void TNamespaceScope::Undeclare(std::string_view prefix) {
  for (auto it = FDeclarations.rbegin(); it != FDeclarations.rend(); ++it) {
    if (it->first == prefix) {
      FDeclarations.erase(std::next(it).base());
      return;
    }
  }
}

std::optional<TQName> TNamespaceScope::Resolve(std::string_view qname) const {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!qname.empty() && blank(qname.front())) {
    qname.remove_prefix(1);
  }
  while (!qname.empty() && blank(qname.back())) {
    qname.remove_suffix(1);
  }
  const std::size_t colon = qname.find(':');
  const std::string_view prefix = colon == std::string_view::npos ? "" : qname.substr(0, colon);
  const std::string_view local = colon == std::string_view::npos ? qname : qname.substr(colon + 1);
  if (local.empty() || local.find(':') != std::string_view::npos ||
      (colon != std::string_view::npos && prefix.empty())) {
    return std::nullopt;
  }
  if (prefix == "xml") {
    return TQName{"http://www.w3.org/XML/1998/namespace", std::string(local)};
  }
  for (auto it = FDeclarations.rbegin(); it != FDeclarations.rend(); ++it) {
    if (it->first == prefix) {
      return TQName{it->second, std::string(local)};
    }
  }
  if (prefix.empty()) {
    return TQName{"", std::string(local)}; // no default namespace: the name has none
  }
  return std::nullopt;
}

} // namespace opc::xmlda

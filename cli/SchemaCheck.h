#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace opc::cli {

// Validates the element inside a reply's SOAP Body against the OPC XML-DA 1.0 schema, taken from
// the WSDL (its types section) or from a schema file. Nothing is fetched: the network is off for
// the schema's reader as for the reply's.
class TSchemaCheck {
public:
  // Raises std::runtime_error with the reason when the file holds no usable schema.
  explicit TSchemaCheck(const std::filesystem::path& file);
  ~TSchemaCheck();
  TSchemaCheck(const TSchemaCheck&) = delete;
  TSchemaCheck& operator=(const TSchemaCheck&) = delete;

  // "" when the Body's element is valid; else the validator's messages, one a line. A fault is
  // not validated (it belongs to the SOAP schema, not to this one).
  std::string Errors(std::string_view reply) const;

private:
  struct TImpl;
  std::unique_ptr<TImpl> FImpl;
};

} // namespace opc::cli

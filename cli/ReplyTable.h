#pragma once

#include "xmlda/ReplyModel.h"

#include <cstdint>
#include <string>

namespace opc::cli {

// The reply as plain text: a table per operation (one row per item, element or property), the
// GetStatus summary, the fault, the errors and whatever the model could not read.
// nowUnixMicros is the local clock, for the difference to the server's reply time.
std::string FormatReply(const xmlda::TReply& reply, std::int64_t nowUnixMicros);

// The value as one line of text: the text of a scalar, "[a, b, c]" for an array.
std::string ValueText(const xmlda::TValue& value);

} // namespace opc::cli

#pragma once

namespace opc::test {

// A Read reply in the style of another SOAP stack: prefixes everywhere, seven fractional digits.
extern const char kReadReply[];
// The start of a Read reply up to its item list, for replies made of many items.
extern const char kBigReadHead[];

} // namespace opc::test

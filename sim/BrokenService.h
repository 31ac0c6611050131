#pragma once

#include "sim/Service.h"

#include <string>

namespace opc::sim {

// The service with one deliberate conformance fault, for tests of clients that judge servers:
//   wrong-result          an unknown item is answered with E_FAIL instead of E_UNKNOWNITEMNAME
//   hold-ignored          a polled refresh answers at once, whatever its HoldTime
//   endless-continuation  every Browse page is the first one again, with more elements to come
//   outside-schema        every reply carries an element the OPC XML-DA schema does not have
// Any other kind is answered with a SOAP fault that names it.
TReply HandleBroken(const std::string& kind, const std::string& soapAction, std::string body);

} // namespace opc::sim

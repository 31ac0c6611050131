#pragma once

#include "transport/inet/ResponseHead.h"

#include <optional>
#include <string>
#include <vector>

namespace opc::inet::detail {

// What a 401 (WWW-Authenticate) or a 407 (Proxy-Authenticate) offers.
struct TChallenges {
  std::vector<std::string> schemes; // scheme names as offered, in order, each once
  std::string realm;                // of the first challenge that names one
  long known = 0;                   // the CURLAUTH_* bits of the schemes the layer can answer
  std::vector<std::string> values;  // the header values as they came

  // The data after the scheme name of a challenge of that scheme ("NTLM <token>"), if any.
  std::optional<std::string> Data(std::string_view scheme) const;
};

TChallenges ReadChallenges(const TResponseHead& head);

} // namespace opc::inet::detail

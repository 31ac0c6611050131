#pragma once

#include "composition/DateTime.h"

#include <string>

namespace opc {

// UTC minus local time in minutes, the daylight shift included while it is in force; 0 when the
// zone cannot be read. Read afresh on every call.
int LocalUtcBias();

// The XML Schema dateTime text with milliseconds: "2024-05-01T14:03:07.123+02:00", or with "Z"
// when the value is not local time or the bias is 0. The offset is the one in force now.
std::u16string DateTimeToXsd(TDateTime dateTime, bool isLocal);

} // namespace opc

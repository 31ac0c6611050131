#pragma once

#include <string>

namespace opc {

// The platform's text for an errno value, with trailing blanks, line breaks and full stops removed,
// so that it can stand inside a sentence of our own.
std::u16string SystemErrorText(int code);

} // namespace opc

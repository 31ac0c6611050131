#pragma once

#include <string>
#include <string_view>

namespace opc {

// Narrow text from the platform (file names, system error texts) decoded in the encoding of the
// current locale. A byte that does not decode becomes U+FFFD, so any byte sequence can be shown.
std::u16string DecodeLocaleText(std::string_view bytes);

} // namespace opc

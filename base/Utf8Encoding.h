#pragma once

#include <string>
#include <string_view>

namespace opc {

// UTF-16 to UTF-8 without a mark; a lone surrogate becomes U+FFFD, as the platform writes it.
std::string EncodeUtf8(std::u16string_view text);

} // namespace opc

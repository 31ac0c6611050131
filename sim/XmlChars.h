#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace opc::sim {

// Where the text stops being UTF-8 (an invalid, overlong or cut-off sequence, or a surrogate
// code point); npos when it is UTF-8 throughout.
std::size_t InvalidUtf8At(std::string_view text);

// Where UTF-16 text of that byte order stops being UTF-16 (a lone surrogate, an odd last byte);
// npos when it is UTF-16 throughout. A leading byte-order mark is fine.
std::size_t InvalidUtf16At(std::string_view text, bool bigEndian);

// The text with every byte sequence that is not UTF-8, and every character XML 1.0 does not
// allow (control characters other than TAB, LF and CR, U+FFFE, U+FFFF), as U+FFFD: whatever a
// request held, a reply that carries it stays well-formed.
std::string XmlSafe(std::string_view text);

} // namespace opc::sim

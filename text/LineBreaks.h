#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace opc {

// Every line break becomes CR LF: CR LF stays, a lone CR and a lone LF each become CR LF
// (so LF CR is two breaks). Nothing is added or removed at the end.
std::u16string NormalizeLineBreaks(std::u16string_view text);

// Splits at CR LF, lone CR and lone LF. A break at the very end ends the last line and does not
// start another one; an empty text has no lines.
std::vector<std::u16string_view> SplitLines(std::u16string_view text);

// Each line followed by CR LF, the last one too.
std::u16string JoinLinesCrLf(const std::vector<std::u16string_view>& lines);

} // namespace opc

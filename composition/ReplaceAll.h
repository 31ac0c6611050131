#pragma once

#include <string>
#include <string_view>

namespace opc {

// Text with every occurrence of Token replaced by Replacement. Each search starts again at the
// first character, so occurrences that the replacement forms with its neighbours are replaced
// too. An empty Token or Text finds nothing. A Replacement that contains its Token would never
// end that way; it is replaced in one left-to-right pass instead. One that forms its Token again
// with its neighbours over and over stops once the text is 8 times as long as it was (plus 4096).
std::u16string ReplaceAll(std::u16string_view text, std::u16string_view token,
                          std::u16string_view replacement);

} // namespace opc

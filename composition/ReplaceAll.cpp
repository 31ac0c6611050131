#include "composition/ReplaceAll.h"

namespace opc {

namespace {

std::u16string ReplaceInOnePass(std::u16string_view text, std::u16string_view token,
                                std::u16string_view replacement) {
  std::u16string out;
  std::size_t from = 0;
  for (std::size_t at; (at = text.find(token, from)) != std::u16string_view::npos;
       from = at + token.size()) {
    out.append(text.substr(from, at - from)).append(replacement);
  }
  return out.append(text.substr(from));
}

} // namespace

// Searching again from the first character after every replacement gives the same result as
// searching again from token.size() - 1 characters before the inserted text: nothing before that
// changed, and it held no occurrence. So the text is built once, left to right, and only the short
// stretch around the last replacement is searched again; a large body with many placeholders
// costs one pass instead of one copy per occurrence.
std::u16string ReplaceAll(std::u16string_view text, std::u16string_view token,
                          std::u16string_view replacement) {
  if (token.empty() || text.empty()) {
    return std::u16string(text);
  }
  if (replacement.find(token) != std::u16string_view::npos) {
    return ReplaceInOnePass(text, token, replacement);
  }
  const std::size_t k = token.size();
  std::u16string out; // the rewritten text before input position i
  out.reserve(text.size());
  std::size_t i = 0;     // how much of text has been taken into out
  std::size_t again = 0; // where in out an occurrence may still start
  // A replacement can form its token anew with what stands around it, and that occurrence another
  // one: "ab" -> "bba" doubles "aaab" at every "a", "\xff}}" -> "}}\xff\xff" never ends. The rule
  // would then run out of memory or time; the rewriting stops once the text has grown past a bound
  // that the placeholders never reach: each of them (5 to 8 characters) becomes 29 at most, and
  // timestamps cannot form a placeholder.
  const std::size_t bound = 8 * text.size() + 4096;
  for (;;) {
    // An occurrence that starts in the rewritten stretch may end in the text not yet taken.
    const std::u16string around = out.substr(again) + std::u16string(text.substr(i, k - 1));
    if (const std::size_t q = around.find(token); q != std::u16string::npos) {
      const std::size_t at = again + q;
      if (out.size() > bound) {
        return out.append(text.substr(i));
      }
      const std::u16string after = at + k < out.size() ? out.substr(at + k) : std::u16string();
      i += at + k > out.size() ? at + k - out.size() : 0;
      out.resize(at);
      out.append(replacement).append(after);
      again = at >= k - 1 ? at - (k - 1) : 0;
      continue;
    }
    const std::size_t at = text.find(token, i);
    if (at == std::u16string_view::npos) {
      return out.append(text.substr(i));
    }
    out.append(text.substr(i, at - i));
    const std::size_t start = out.size();
    out.append(replacement);
    i = at + k;
    again = start >= k - 1 ? start - (k - 1) : 0;
  }
}

} // namespace opc

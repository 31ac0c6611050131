#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace opc::xmlda {

// The tags of a request text as the editor holds it: enough of XML to change one attribute or one
// list of elements and leave every other character where it was (options, deadlines, time
// placeholders, comments, line breaks). Comments, CDATA, processing instructions and quoted
// attribute values are stepped over, so a "<" inside them is not taken for a tag.
struct TTemplateAttribute {
  std::u16string name;
  std::size_t nameStart = 0;
  std::size_t valueStart = 0; // behind the opening quote
  std::size_t valueEnd = 0;   // at the closing quote
};

struct TTemplateTag {
  std::size_t start = 0; // at "<"
  std::size_t end = 0;   // behind ">"
  std::u16string name;   // as written, with its prefix
  bool closing = false;
  bool selfClosing = false;
  int depth = 0;         // the root element is at 0
  std::size_t match = 0; // for a start tag: the index of its end tag (itself when self-closing)
  std::vector<TTemplateAttribute> attributes;

  std::u16string_view LocalName() const;
  std::u16string_view Prefix() const; // "" without one
};

// Raises Error naming the operation when the text's tags do not pair up.
std::vector<TTemplateTag> ScanTemplate(std::u16string_view text, std::u16string_view operation);

} // namespace opc::xmlda

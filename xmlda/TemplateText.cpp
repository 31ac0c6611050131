#include "xmlda/TemplateText.h"

#include "base/Error.h"

namespace opc::xmlda {

namespace {

bool IsBlank(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

[[noreturn]] void Malformed(std::u16string_view operation) {
  throw Error(u"The " + std::u16string(operation) +
              u" request text is not well-formed XML, so it cannot be changed.");
}

} // namespace

std::u16string_view TTemplateTag::LocalName() const {
  const std::size_t colon = name.find(u':');
  return colon == std::u16string::npos ? std::u16string_view(name)
                                       : std::u16string_view(name).substr(colon + 1);
}

std::u16string_view TTemplateTag::Prefix() const {
  const std::size_t colon = name.find(u':');
  return colon == std::u16string::npos ? std::u16string_view()
                                       : std::u16string_view(name).substr(0, colon);
}

std::vector<TTemplateTag> ScanTemplate(std::u16string_view text, std::u16string_view operation) {
  std::vector<TTemplateTag> tags;
  std::vector<std::size_t> open;
  std::size_t at = 0;
  const auto skipTo = [&](std::u16string_view end) {
    const std::size_t found = text.find(end, at);
    if (found == std::u16string_view::npos) {
      Malformed(operation);
    }
    at = found + end.size();
  };
  while ((at = text.find(u'<', at)) != std::u16string_view::npos) {
    const std::u16string_view rest = text.substr(at);
    if (rest.starts_with(u"<!--")) {
      skipTo(u"-->");
      continue;
    }
    if (rest.starts_with(u"<![CDATA[")) {
      skipTo(u"]]>");
      continue;
    }
    if (rest.starts_with(u"<?")) {
      skipTo(u"?>");
      continue;
    }
    if (rest.starts_with(u"<!")) {
      skipTo(u">");
      continue;
    }
    TTemplateTag tag;
    tag.start = at;
    ++at;
    if (at < text.size() && text[at] == u'/') {
      tag.closing = true;
      ++at;
    }
    const std::size_t nameStart = at;
    while (at < text.size() && !IsBlank(text[at]) && text[at] != u'>' && text[at] != u'/') {
      ++at;
    }
    tag.name = text.substr(nameStart, at - nameStart);
    if (tag.name.empty()) {
      Malformed(operation);
    }
    for (;;) {
      while (at < text.size() && IsBlank(text[at])) {
        ++at;
      }
      if (at >= text.size()) {
        Malformed(operation);
      }
      if (text[at] == u'>') {
        ++at;
        break;
      }
      if (text.substr(at).starts_with(u"/>") && !tag.closing) {
        tag.selfClosing = true;
        at += 2;
        break;
      }
      if (tag.closing) {
        Malformed(operation);
      }
      TTemplateAttribute attribute;
      attribute.nameStart = at;
      while (at < text.size() && !IsBlank(text[at]) && text[at] != u'=' && text[at] != u'>') {
        ++at;
      }
      attribute.name = text.substr(attribute.nameStart, at - attribute.nameStart);
      while (at < text.size() && IsBlank(text[at])) {
        ++at;
      }
      if (at >= text.size() || text[at] != u'=' || attribute.name.empty()) {
        Malformed(operation);
      }
      ++at;
      while (at < text.size() && IsBlank(text[at])) {
        ++at;
      }
      if (at >= text.size() || (text[at] != u'"' && text[at] != u'\'')) {
        Malformed(operation);
      }
      const char16_t quote = text[at];
      attribute.valueStart = at + 1;
      attribute.valueEnd = text.find(quote, attribute.valueStart);
      if (attribute.valueEnd == std::u16string_view::npos) {
        Malformed(operation);
      }
      at = attribute.valueEnd + 1;
      tag.attributes.push_back(std::move(attribute));
    }
    tag.end = at;
    const std::size_t index = tags.size();
    if (tag.closing) {
      if (open.empty() || tags[open.back()].name != tag.name) {
        Malformed(operation);
      }
      tag.depth = tags[open.back()].depth;
      tags[open.back()].match = index;
      open.pop_back();
    } else {
      tag.depth = static_cast<int>(open.size());
      if (tag.depth == 0 && !tags.empty()) {
        Malformed(operation); // a second root
      }
      tag.match = index;
      if (!tag.selfClosing) {
        open.push_back(index);
      }
    }
    tags.push_back(std::move(tag));
  }
  if (!open.empty() || tags.empty()) {
    Malformed(operation);
  }
  return tags;
}

} // namespace opc::xmlda

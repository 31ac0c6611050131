#include "xmlda/NextRequest.h"

#include "base/Error.h"
#include "base/XmlEscape.h"
#include "text/Utf8.h"
#include "xmlda/TemplateText.h"

#include <algorithm>
#include <optional>

namespace opc::xmlda {

namespace {

std::u16string Utf16(std::string_view utf8) {
  return DecodeUtf8({reinterpret_cast<const std::uint8_t*>(utf8.data()), utf8.size()});
}

std::u16string Escaped(std::string_view utf8, bool attribute) {
  std::string out;
  AppendXmlEscaped(out, utf8, attribute);
  return Utf16(out);
}

std::u16string Attr(std::u16string_view name, std::string_view value) {
  return u" " + std::u16string(name) + u"=\"" + Escaped(value, true) + u"\"";
}

// One request text being changed: its tags, and edits applied from the back so that the offsets
// of the tags before them stay right.
class TRequestText {
public:
  TRequestText(std::u16string_view text, std::u16string_view operation)
      : FText(text), FOperation(operation), FTags(ScanTemplate(text, operation)) {
    if (FTags.front().LocalName() != operation) {
      throw Error(u"The request text is not a " + std::u16string(operation) +
                  u" request: its element is " + FTags.front().name + u".");
    }
  }

  const TTemplateTag& Root() const { return FTags.front(); }
  std::u16string_view Prefix() const { return Root().Prefix(); }
  std::u16string Qualified(std::u16string_view local) const {
    return Prefix().empty() ? std::u16string(local)
                            : std::u16string(Prefix()) + u":" + std::u16string(local);
  }
  // The line break the text uses (the editor's CR LF, or LF).
  std::u16string LineBreak() const {
    return FText.find(u"\r\n") != std::u16string::npos || FText.find(u'\n') == std::u16string::npos
               ? u"\r\n"
               : u"\n";
  }
  // The blanks before the tag on its line ("" when something else stands before it).
  std::u16string IndentOf(const TTemplateTag& tag) const {
    std::size_t at = tag.start;
    while (at > 0 && (FText[at - 1] == u' ' || FText[at - 1] == u'\t')) {
      --at;
    }
    if (at > 0 && FText[at - 1] != u'\n' && FText[at - 1] != u'\r') {
      return {};
    }
    return FText.substr(at, tag.start - at);
  }

  // The first child of the element at index with that local name, or none.
  std::optional<std::size_t> Child(std::size_t parent, std::u16string_view local) const {
    for (std::size_t i = parent + 1; i < FTags[parent].match; ++i) {
      const TTemplateTag& tag = FTags[i];
      if (!tag.closing && tag.depth == FTags[parent].depth + 1 && tag.LocalName() == local) {
        return i;
      }
    }
    return std::nullopt;
  }

  // Sets an attribute of the tag, adding it behind the last attribute when missing.
  void SetAttribute(std::size_t index, std::u16string_view name, std::string_view value) {
    const TTemplateTag& tag = FTags[index];
    for (const TTemplateAttribute& a : tag.attributes) {
      if (a.name == name) {
        FText.replace(a.valueStart, a.valueEnd - a.valueStart, Escaped(value, true));
        Rescan();
        return;
      }
    }
    const std::size_t at = tag.attributes.empty() ? tag.start + 1 + tag.name.size()
                                                  : tag.attributes.back().valueEnd + 1;
    FText.insert(at, Attr(name, value));
    Rescan();
  }

  void RemoveAttribute(std::size_t index, std::u16string_view name) {
    for (const TTemplateAttribute& a : FTags[index].attributes) {
      if (a.name == name) {
        std::size_t from = a.nameStart;
        while (from > 0 && (FText[from - 1] == u' ' || FText[from - 1] == u'\t')) {
          --from;
        }
        FText.erase(from, a.valueEnd + 1 - from);
        Rescan();
        return;
      }
    }
  }

  // Replaces every child of the parent with that local name by the given elements, one a line,
  // where the first of them stood; without such a child they go at the end of the parent.
  void ReplaceChildren(std::size_t parent, std::u16string_view local,
                       const std::vector<std::u16string>& elements) {
    std::vector<std::size_t> children;
    for (std::size_t i = parent + 1; i < FTags[parent].match; ++i) {
      const TTemplateTag& tag = FTags[i];
      if (!tag.closing && tag.depth == FTags[parent].depth + 1 && tag.LocalName() == local) {
        children.push_back(i);
      }
    }
    const std::u16string lineBreak = LineBreak();
    if (!children.empty()) {
      const std::u16string indent = IndentOf(FTags[children.front()]);
      std::u16string joined;
      for (std::size_t i = 0; i < elements.size(); ++i) {
        joined += (i ? lineBreak + indent : u"") + Indented(elements[i], indent, lineBreak);
      }
      // Every old child goes, each with the line it stood on when it stood alone on it.
      for (auto it = children.rbegin(); it != children.rend(); ++it) {
        const std::size_t start = FTags[*it].start;
        const std::size_t end = FTags[FTags[*it].match].end;
        if (it == std::prev(children.rend())) {
          FText.replace(start, end - start, joined);
        } else {
          std::size_t from = start;
          while (from > 0 && (FText[from - 1] == u' ' || FText[from - 1] == u'\t')) {
            --from;
          }
          if (from > 0 && FText[from - 1] == u'\n') {
            --from;
            if (from > 0 && FText[from - 1] == u'\r') {
              --from;
            }
          } else {
            from = start;
          }
          FText.erase(from, end - from);
        }
      }
      Rescan();
      return;
    }
    const TTemplateTag& tag = FTags[parent];
    const std::u16string outer = IndentOf(tag);
    const std::u16string indent = outer + u"  ";
    std::u16string joined;
    for (const std::u16string& element : elements) {
      joined += lineBreak + indent + Indented(element, indent, lineBreak);
    }
    if (tag.selfClosing) {
      FText.replace(tag.end - 2, 2, u">" + joined + lineBreak + outer + u"</" + tag.name + u">");
    } else {
      const TTemplateTag& close = FTags[tag.match];
      std::size_t at = close.start;
      while (at > tag.end && IsBlankChar(FText[at - 1])) {
        --at;
      }
      FText.replace(at, close.start - at, joined + lineBreak + outer);
    }
    Rescan();
  }

  // The child element, made when missing (an empty one at the end of the parent).
  std::size_t EnsureChild(std::size_t parent, std::u16string_view local) {
    if (auto child = Child(parent, local)) {
      return *child;
    }
    ReplaceChildren(parent, local, {u"<" + Qualified(local) + u"></" + Qualified(local) + u">"});
    return *Child(parent, local);
  }

  std::u16string Take() { return std::move(FText); }

private:
  std::u16string FText;
  std::u16string FOperation;
  std::vector<TTemplateTag> FTags;

  static bool IsBlankChar(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
  }
  // A generated element of several lines (the "\n" it is built with) indented as its place.
  static std::u16string Indented(const std::u16string& element, const std::u16string& indent,
                                 const std::u16string& lineBreak) {
    std::u16string out;
    for (char16_t c : element) {
      if (c == u'\n') {
        out += lineBreak + indent;
      } else {
        out += c;
      }
    }
    return out;
  }
  void Rescan() { FTags = ScanTemplate(FText, FOperation); }
};

std::u16string ItemElement(const TRequestText& request, std::u16string_view local,
                           const TItemRef& item, std::size_t index, bool handle) {
  std::u16string element = u"<" + request.Qualified(local);
  if (!item.itemPath.empty()) {
    element += Attr(u"ItemPath", item.itemPath);
  }
  element += Attr(u"ItemName", item.itemName);
  if (handle) {
    element += Attr(u"ClientItemHandle", item.clientItemHandle.empty() ? std::to_string(index + 1)
                                                                       : item.clientItemHandle);
  }
  return element + u"/>";
}

std::u16string ListOfItems(std::u16string_view text, std::u16string_view operation,
                           const std::vector<TItemRef>& items) {
  TRequestText request(text, operation);
  const std::size_t list = request.EnsureChild(0, u"ItemList");
  std::vector<std::u16string> elements;
  for (std::size_t i = 0; i < items.size(); ++i) {
    elements.push_back(ItemElement(request, u"Items", items[i], i, true));
  }
  request.ReplaceChildren(list, u"Items", elements);
  return request.Take();
}

std::u16string TypeAttribute(const TRequestText& request, const TValue& value) {
  TValueType kind = value.kind;
  if (kind == TValueType::Other || kind == TValueType::None || kind == TValueType::Quality) {
    return {};
  }
  const std::u16string opcPrefix(request.Prefix());
  return u" xsi:type=\"" +
         Utf16(TypeName(kind, "xsd", std::string(opcPrefix.begin(), opcPrefix.end()))) + u"\"";
}

std::u16string ValueElement(const TRequestText& request, const TValue& value) {
  const std::u16string name = request.Qualified(u"Value");
  std::u16string element = u"<" + name + TypeAttribute(request, value);
  if (value.isArray) {
    element += u">";
    const std::u16string child = request.Qualified(Utf16(ArrayElementName(value.kind)));
    for (const TScalar& scalar : value.elements) {
      std::u16string type;
      if (value.kind == TValueType::ArrayOfAnyType && scalar.type != TValueType::Other &&
          scalar.type != TValueType::None) {
        type = u" xsi:type=\"" + Utf16(TypeName(scalar.type, "xsd", "")) + u"\"";
      }
      if (scalar.nil) {
        element += u"<" + child + type + u" xsi:nil=\"true\"/>";
      } else {
        element += u"<" + child + type + u">" + Escaped(scalar.text, false) + u"</" + child + u">";
      }
    }
    return element + u"</" + name + u">";
  }
  if (value.scalar.nil) {
    return element + u" xsi:nil=\"true\"/>";
  }
  return element + u">" + Escaped(value.scalar.text, false) + u"</" + name + u">";
}

} // namespace

std::u16string BrowseInto(std::u16string_view browseRequest, const TBrowseElement& element) {
  TRequestText request(browseRequest, u"Browse");
  request.RemoveAttribute(0, u"ContinuationPoint");
  const auto& attributes = request.Root().attributes;
  const bool hasPath = std::any_of(attributes.begin(), attributes.end(),
                                   [](const auto& a) { return a.name == u"ItemPath"; });
  if (hasPath || !element.itemPath.empty()) {
    request.SetAttribute(0, u"ItemPath", element.itemPath);
  }
  request.SetAttribute(0, u"ItemName", element.itemName);
  return request.Take();
}

std::u16string NextBrowsePage(std::u16string_view browseRequest,
                              std::string_view continuationPoint) {
  TRequestText request(browseRequest, u"Browse");
  request.SetAttribute(0, u"ContinuationPoint", continuationPoint);
  return request.Take();
}

std::u16string ReadItems(std::u16string_view readRequest, const std::vector<TItemRef>& items) {
  return ListOfItems(readRequest, u"Read", items);
}

std::u16string SubscribeItems(std::u16string_view subscribeRequest,
                              const std::vector<TItemRef>& items) {
  return ListOfItems(subscribeRequest, u"Subscribe", items);
}

std::u16string GetPropertiesOf(std::u16string_view getPropertiesRequest,
                               const std::vector<TItemRef>& items) {
  TRequestText request(getPropertiesRequest, u"GetProperties");
  std::vector<std::u16string> elements;
  for (std::size_t i = 0; i < items.size(); ++i) {
    elements.push_back(ItemElement(request, u"ItemIDs", items[i], i, false));
  }
  request.ReplaceChildren(0, u"ItemIDs", elements);
  return request.Take();
}

std::u16string PollSubscription(std::u16string_view pollRequest, std::string_view serverSubHandle) {
  TRequestText request(pollRequest, u"SubscriptionPolledRefresh");
  const std::u16string name = request.Qualified(u"ServerSubHandles");
  request.ReplaceChildren(
      0, u"ServerSubHandles",
      {u"<" + name + u">" + Escaped(serverSubHandle, false) + u"</" + name + u">"});
  return request.Take();
}

std::u16string CancelSubscription(std::u16string_view cancelRequest,
                                  std::string_view serverSubHandle) {
  TRequestText request(cancelRequest, u"SubscriptionCancel");
  request.SetAttribute(0, u"ServerSubHandle", serverSubHandle);
  return request.Take();
}

std::u16string WriteItems(std::u16string_view writeRequest, const std::vector<TWriteItem>& items) {
  TRequestText request(writeRequest, u"Write");
  const std::size_t list = request.EnsureChild(0, u"ItemList");
  std::vector<std::u16string> elements;
  for (std::size_t i = 0; i < items.size(); ++i) {
    std::u16string element = ItemElement(request, u"Items", items[i].item, i, true);
    element.resize(element.size() - 2); // "/>"
    element += u">\n  " + ValueElement(request, items[i].value) + u"\n</" +
               request.Qualified(u"Items") + u">";
    elements.push_back(std::move(element));
  }
  request.ReplaceChildren(list, u"Items", elements);
  return request.Take();
}

std::u16string SetRequestAttribute(std::u16string_view text, std::u16string_view operation,
                                   std::u16string_view element, std::u16string_view name,
                                   std::string_view value) {
  TRequestText request(text, operation);
  const std::size_t index = element.empty() ? 0 : request.EnsureChild(0, element);
  request.SetAttribute(index, name, value);
  return request.Take();
}

TItemRef ItemRefOf(const TItem& item) {
  return {item.itemPath.value_or(""), item.itemName.value_or(""),
          item.clientItemHandle.value_or("")};
}

TItemRef ItemRefOf(const TBrowseElement& element) {
  return {element.itemPath, element.itemName, ""};
}

} // namespace opc::xmlda

#include "viewer/Reply.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace opc {

namespace {

// The reply's code units: bytes for UTF-8 and the 8-bit encodings, 16-bit units otherwise.
template <TReplyEncoding E> struct TUnits {
  const unsigned char* data;
  std::size_t size; // units

  static constexpr std::size_t kWidth =
      E == TReplyEncoding::Utf16Le || E == TReplyEncoding::Utf16Be ? 2 : 1;

  char32_t operator[](std::size_t i) const {
    if constexpr (E == TReplyEncoding::Utf16Le) {
      return static_cast<char32_t>(data[2 * i] | data[2 * i + 1] << 8);
    } else if constexpr (E == TReplyEncoding::Utf16Be) {
      return static_cast<char32_t>(data[2 * i] << 8 | data[2 * i + 1]);
    } else {
      return data[i];
    }
  }

  std::size_t Find(char32_t c, std::size_t from) const {
    if (from >= size) {
      return size; // the text may be cut anywhere: it is indexed before it is judged
    }
    if constexpr (kWidth == 1) {
      const void* at = std::memchr(data + from, static_cast<int>(c), size - from);
      return at ? static_cast<std::size_t>(static_cast<const unsigned char*>(at) - data) : size;
    } else {
      for (; from < size && (*this)[from] != c; ++from) {
      }
      return from;
    }
  }

  bool StartsWith(std::size_t at, std::string_view ascii) const {
    if (at + ascii.size() > size) {
      return false;
    }
    for (std::size_t i = 0; i < ascii.size(); ++i) {
      if ((*this)[at + i] != static_cast<unsigned char>(ascii[i])) {
        return false;
      }
    }
    return true;
  }

  // The end of the first `terminator` at or after `from`, or the end of the text.
  std::size_t After(std::size_t from, std::string_view terminator) const {
    for (std::size_t at = from;; ++at) {
      at = Find(static_cast<unsigned char>(terminator[0]), at);
      if (at >= size) {
        return size;
      }
      if (StartsWith(at, terminator)) {
        return at + terminator.size();
      }
    }
  }

  // The end of a start tag or of a declaration without a subset: '>' outside quotes.
  std::size_t TagEnd(std::size_t from) const {
    for (std::size_t at = from; at < size; ++at) {
      const char32_t c = (*this)[at];
      if (c == '"' || c == '\'') {
        at = Find(c, at + 1);
      } else if (c == '>') {
        return at + 1;
      }
    }
    return size;
  }

  // The end of "<!DOCTYPE ... [ ... ]>": quotes, comments and instructions in the subset may
  // hold any of the brackets.
  std::size_t DoctypeEnd(std::size_t from) const {
    bool subset = false;
    for (std::size_t at = from; at < size; ++at) {
      const char32_t c = (*this)[at];
      if (c == '"' || c == '\'') {
        at = Find(c, at + 1);
      } else if (subset && StartsWith(at, "<!--")) {
        at = After(at + 4, "-->") - 1;
      } else if (subset && StartsWith(at, "<?")) {
        at = After(at + 2, "?>") - 1;
      } else if (c == '[') {
        subset = true;
      } else if (c == ']') {
        subset = false;
      } else if (c == '>' && !subset) {
        return at + 1;
      }
    }
    return size;
  }

  std::string Utf8(std::size_t from, std::size_t to) const {
    std::string out;
    for (std::size_t i = from; i < to; ++i) {
      char32_t c = (*this)[i];
      if constexpr (kWidth == 1) {
        if (E == TReplyEncoding::Utf8 || c < 0x80) {
          out += static_cast<char>(c);
          continue;
        }
      } else if (c >= 0xD800 && c < 0xDC00 && i + 1 < to) {
        c = 0x10000 + ((c - 0xD800) << 10) + ((*this)[++i] - 0xDC00);
      }
      if (c < 0x80) {
        out += static_cast<char>(c);
      } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
      } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
      } else {
        out += static_cast<char>(0xF0 | c >> 18);
        out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
      }
    }
    return out;
  }
};

// The predefined entities and character references of a short text, for the fault banner.
std::string Unescape(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const std::size_t semi = text[i] == '&' ? text.find(';', i) : std::string_view::npos;
    if (semi == std::string_view::npos) {
      out += text[i];
      continue;
    }
    const std::string_view name = text.substr(i + 1, semi - i - 1);
    static constexpr std::pair<std::string_view, char> kNamed[] = {
        {"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"quot", '"'}, {"apos", '\''}};
    const auto named = std::find_if(std::begin(kNamed), std::end(kNamed),
                                    [&](const auto& n) { return n.first == name; });
    if (named != std::end(kNamed)) {
      out += named->second;
    } else if (name.size() > 1 && name[0] == '#') {
      const unsigned long c = std::strtoul(std::string(name.substr(1 + (name[1] == 'x'))).c_str(),
                                           nullptr, name[1] == 'x' ? 16 : 10);
      out += c < 0x80 ? static_cast<char>(c) : '?';
    } else {
      out.append(text.substr(i, semi - i + 1));
    }
    i = semi;
  }
  return out;
}

std::string_view LocalName(std::string_view qname) {
  const auto colon = qname.find(':');
  return colon == std::string_view::npos ? qname : qname.substr(colon + 1);
}

template <TReplyEncoding E> class TIndexer {
public:
  TIndexer(TReply& reply, std::size_t budget, const std::atomic<bool>* cancelled)
      : FReply(reply), FBudget(budget), FCancelled(cancelled) {
    const std::string_view bytes = reply.Bytes().substr(reply.textStart);
    FUnits = {reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size() / FUnits.kWidth};
  }

  void Run() {
    std::size_t text = 0; // where the text before the next tag starts
    std::size_t at = 0;
    std::size_t step = 0;
    while ((at = FUnits.Find('<', at)) < FUnits.size) {
      if ((++step & 0xFFFF) == 0 && FCancelled && FCancelled->load(std::memory_order_relaxed)) {
        throw TLoadCancelled{};
      }
      if (FUnits.StartsWith(at, "<![CDATA[")) {
        at = FUnits.After(at + 9, "]]>"); // a part of the text around it
        continue;
      }
      const std::size_t tag = at;
      if (FUnits.StartsWith(at, "</")) {
        at = std::min(FUnits.Find('>', at) + 1, FUnits.size);
        Close(text, tag, at);
      } else if (FUnits.StartsWith(at, "<!--")) {
        at = FUnits.After(at + 4, "-->");
        Other(text, tag, at, TLineKind::Comment);
      } else if (FUnits.StartsWith(at, "<?")) {
        at = FUnits.After(at + 2, "?>");
        Other(text, tag, at, TLineKind::Markup);
      } else if (FUnits.StartsWith(at, "<!")) {
        at = FUnits.DoctypeEnd(at + 2);
        Other(text, tag, at, TLineKind::Markup);
      } else {
        at = FUnits.TagEnd(at + 1);
        Open(text, tag, at);
      }
      text = at;
    }
    TextLines(text, FUnits.size);
  }

private:
  struct TFrame {
    std::uint32_t line;
    bool holdsMarkup;
  };

  void Add(std::size_t from, std::size_t to, TLineKind kind) {
    const std::size_t length = (to - from) * FUnits.kWidth;
    if (length > UINT32_MAX) {
      throw std::bad_alloc(); // a single line of over 4 GiB: shown raw
    }
    TIndentedLine line{};
    line.offset = FReply.textStart + from * FUnits.kWidth;
    line.depth = std::min<std::size_t>(FStack.size(), 0xFFFF);
    line.kind = static_cast<std::uint8_t>(kind);
    line.length = static_cast<std::uint32_t>(length);
    if (FReply.lines.Bytes() > FBudget) {
      throw std::bad_alloc();
    }
    FReply.lines.push_back(line);
  }

  // Text between tags, a line for each of its lines that holds more than white space.
  void TextLines(std::size_t from, std::size_t to) {
    while (from < to) {
      std::size_t end = std::min(FUnits.Find('\n', from), to);
      std::size_t a = from, b = end;
      auto blank = [](char32_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
      while (a < b && blank(FUnits[a])) {
        ++a;
      }
      while (b > a && blank(FUnits[b - 1])) {
        --b;
      }
      if (a < b) {
        MarkParent();
        Add(a, b, TLineKind::Text);
      }
      from = end + 1;
    }
  }

  void MarkParent() {
    if (!FStack.empty()) {
      FStack.back().holdsMarkup = true;
    }
  }

  void Other(std::size_t text, std::size_t from, std::size_t to, TLineKind kind) {
    TextLines(text, from);
    MarkParent();
    Add(from, to, kind);
  }

  void Open(std::size_t text, std::size_t from, std::size_t to) {
    TextLines(text, from);
    MarkParent();
    const bool empty = to >= 2 && FUnits[to - 2] == '/';
    Add(from, to, empty ? TLineKind::Leaf : TLineKind::Open);
    if (FPath.size() == FStack.size() && FPath.size() < 5) {
      std::size_t nameEnd = from + 1;
      while (nameEnd < to && FUnits[nameEnd] > ' ' && FUnits[nameEnd] != '>' &&
             FUnits[nameEnd] != '/') {
        ++nameEnd;
      }
      FPath.push_back(std::string(LocalName(FUnits.Utf8(from + 1, nameEnd))));
      if (empty) {
        FPath.pop_back();
      }
    }
    if (!empty) {
      FStack.push_back({static_cast<std::uint32_t>(FReply.lines.size() - 1), false});
    }
  }

  void Close(std::size_t text, std::size_t from, std::size_t to) {
    if (FStack.empty()) {
      return; // not well-formed; the check says so
    }
    const TFrame frame = FStack.back();
    bool oneLine = !frame.holdsMarkup;
    for (std::size_t i = text; oneLine && i < from; ++i) {
      oneLine = FUnits[i] != '\n';
    }
    if (FPath.size() == FStack.size()) {
      if (oneLine) {
        NoteFault(FUnits.Utf8(text, from));
      }
      FPath.pop_back();
    }
    if (oneLine) {
      TIndentedLine& line = FReply.lines[frame.line];
      const std::size_t length = FReply.textStart + to * FUnits.kWidth - line.offset;
      if (length > UINT32_MAX) {
        throw std::bad_alloc();
      }
      line.length = static_cast<std::uint32_t>(length);
      line.kind = static_cast<std::uint8_t>(TLineKind::Leaf);
      FStack.pop_back();
      return;
    }
    TextLines(text, from);
    FStack.pop_back();
    Add(from, to, TLineKind::Close);
    FReply.lines[frame.line].foldEnd = static_cast<std::uint32_t>(FReply.lines.size() - 1);
  }

  // A SOAP Fault's code and text, SOAP 1.1 or 1.2, for the banner.
  void NoteFault(const std::string& text) {
    if (FPath.size() < 4 || FPath[0] != "Envelope" || FPath[1] != "Body" || FPath[2] != "Fault") {
      return;
    }
    if (!FReply.fault) {
      FReply.fault.emplace();
    }
    const std::string& last = FPath.back();
    if (FPath.size() == 4 && last == "faultcode") {
      FReply.fault->code = Unescape(text);
    } else if (FPath.size() == 4 && last == "faultstring") {
      FReply.fault->text = Unescape(text);
    } else if (FPath.size() == 5 && FPath[3] == "Code" && last == "Value") {
      FReply.fault->code = Unescape(text);
    } else if (FPath.size() == 5 && FPath[3] == "Reason" && last == "Text") {
      FReply.fault->text = Unescape(text);
    }
  }

  TReply& FReply;
  std::size_t FBudget;
  const std::atomic<bool>* FCancelled;
  TUnits<E> FUnits{};
  std::vector<TFrame> FStack;
  std::vector<std::string> FPath; // local names of the outermost elements open
};

} // namespace

void IndexLines(TReply& reply, std::size_t budget, const std::atomic<bool>* cancelled) {
  switch (reply.encoding) {
  case TReplyEncoding::Utf8:
    TIndexer<TReplyEncoding::Utf8>(reply, budget, cancelled).Run();
    break;
  case TReplyEncoding::Latin1:
    TIndexer<TReplyEncoding::Latin1>(reply, budget, cancelled).Run();
    break;
  case TReplyEncoding::Utf16Le:
    TIndexer<TReplyEncoding::Utf16Le>(reply, budget, cancelled).Run();
    break;
  case TReplyEncoding::Utf16Be:
    TIndexer<TReplyEncoding::Utf16Be>(reply, budget, cancelled).Run();
    break;
  }
  if (reply.fault && reply.fault->code.empty() && reply.fault->text.empty()) {
    reply.fault->text = "(no code or text)";
  }
}

} // namespace opc

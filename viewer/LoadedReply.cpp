#include "viewer/LoadedReply.h"

#include "base/SystemError.h"
#include "base/UniqueFd.h"
#include "base/Utf8Encoding.h"
#include "base/XmlEscape.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pugixml.hpp>
#include <sys/stat.h>

namespace opc {

namespace {

constexpr std::size_t kIndentLimit = std::size_t{512} << 20;

bool ReadFile(const std::string& path, std::string& bytes, std::string& error) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat info {};
  if (!fd || ::fstat(fd.get(), &info) != 0) {
    error = EncodeUtf8(SystemErrorText(errno));
    return false;
  }
  // One byte more than the file holds, so that its end shows without growing the buffer.
  bytes.resize(static_cast<std::size_t>(std::max<off_t>(info.st_size, 0)) + 1);
  std::size_t have = 0;
  for (;;) {
    if (have == bytes.size()) {
      bytes.resize(bytes.size() + 65536); // the file may have grown since fstat
    }
    const ssize_t n = ::read(fd.get(), bytes.data() + have, bytes.size() - have);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0) {
      error = EncodeUtf8(SystemErrorText(errno));
      return false;
    }
    if (n == 0) {
      break;
    }
    have += static_cast<std::size_t>(n);
  }
  bytes.resize(have);
  return true;
}

void IndexRawLines(TLoadedReply& reply) {
  const std::string& raw = reply.raw;
  reply.rawLineStarts.push_back(0);
  if (!reply.rawIsUtf16) {
    // memchr finds the line feeds many bytes at a time.
    for (const char* at = raw.data();
         (at = static_cast<const char*>(std::memchr(at, '\n', raw.data() + raw.size() - at)));) {
      ++at;
      reply.rawLineStarts.push_back(static_cast<std::uint64_t>(at - raw.data()));
    }
    return;
  }
  const std::size_t low = reply.rawBigEndian ? 1 : 0;
  for (std::size_t i = 0; i + 2 <= raw.size(); i += 2) {
    if (raw[i + low] == '\n' && raw[i + 1 - low] == 0) {
      reply.rawLineStarts.push_back(i + 2);
    }
  }
}

void AppendEscaped(std::string& out, const char* text, bool attribute) {
  AppendXmlEscaped(out, text, attribute);
}

void AppendStartTag(std::string& out, const pugi::xml_node& node, bool empty) {
  out += '<';
  out += node.name();
  for (const pugi::xml_attribute& a : node.attributes()) {
    out += ' ';
    out += a.name();
    out += "=\"";
    AppendEscaped(out, a.value(), true);
    out += '"';
  }
  out += empty ? "/>" : ">";
}

// Builds the indented view from the parsed tree without recursion, so that deep nesting cannot
// exhaust the stack.
class TPrettyPrinter {
public:
  explicit TPrettyPrinter(TLoadedReply& reply) : FReply(reply) {}

  void Print(const pugi::xml_document& document) {
    struct Frame {
      pugi::xml_node node;
      std::size_t openLine;
    };
    std::vector<Frame> stack;
    pugi::xml_node node = document.first_child();
    std::uint16_t depth = 0;
    while (node) {
      bool descend = false;
      FText.clear();
      switch (node.type()) {
      case pugi::node_element: {
        const pugi::xml_node only = node.first_child();
        const bool textOnly = only && !only.next_sibling() && (only.type() == pugi::node_pcdata) &&
                              !std::strchr(only.value(), '\n');
        if (!node.first_child()) {
          AppendStartTag(FText, node, true);
          Line(depth);
        } else if (textOnly) {
          AppendStartTag(FText, node, false);
          AppendEscaped(FText, only.value(), false);
          FText += "</";
          FText += node.name();
          FText += '>';
          Line(depth);
        } else {
          AppendStartTag(FText, node, false);
          stack.push_back({node, Line(depth)});
          descend = true;
        }
        break;
      }
      case pugi::node_pcdata:
        Text(node.value(), depth, false);
        break;
      case pugi::node_cdata:
        FText = std::string("<![CDATA[") + node.value() + "]]>";
        Text(FText, depth, true);
        break;
      case pugi::node_comment:
        FText = std::string("<!--") + node.value() + "-->";
        Text(FText, depth, true, true);
        break;
      case pugi::node_pi:
        FText = std::string("<?") + node.name() + " " + node.value() + "?>";
        Line(depth);
        break;
      case pugi::node_declaration:
        FText = "<?xml";
        for (const pugi::xml_attribute& a : node.attributes()) {
          FText += std::string(" ") + a.name() + "=\"" + a.value() + "\"";
        }
        FText += "?>";
        Line(depth);
        break;
      case pugi::node_doctype:
        FText = std::string("<!DOCTYPE ") + node.value() + ">";
        Line(depth);
        break;
      default:
        break;
      }
      if (descend) {
        node = node.first_child();
        ++depth;
        continue;
      }
      // Move on: the next sibling, or close the elements that have none left.
      while (node && !node.next_sibling() && !stack.empty() && stack.back().node == node.parent()) {
        const Frame frame = stack.back();
        stack.pop_back();
        --depth;
        FText = std::string("</") + frame.node.name() + ">";
        const std::size_t closing = Line(depth);
        FReply.lines[frame.openLine].foldEnd = static_cast<std::uint32_t>(closing);
        node = frame.node;
      }
      node = node ? node.next_sibling() : node;
    }
  }

private:
  // Text that spans lines shows as lines of its own, each at the text's depth.
  void Text(std::string_view text, std::uint16_t depth, bool raw, bool comment = false) {
    std::size_t start = 0;
    while (start <= text.size()) {
      const std::size_t end = std::min(text.find('\n', start), text.size());
      std::string_view piece = text.substr(start, end - start);
      while (!piece.empty() &&
             (piece.back() == ' ' || piece.back() == '\t' || piece.back() == '\r')) {
        piece.remove_suffix(1);
      }
      while (!raw && !piece.empty() && (piece.front() == ' ' || piece.front() == '\t')) {
        piece.remove_prefix(1);
      }
      if (!piece.empty() || raw) {
        // Written straight into the indented text: a text of a gigabyte is not copied on the way.
        const std::size_t offset = FReply.pretty.size();
        if (raw) {
          FReply.pretty.append(piece);
        } else {
          AppendXmlEscaped(FReply.pretty, piece, false);
        }
        Close(offset, depth, comment);
      }
      start = end + 1;
    }
  }

  std::size_t Line(std::uint16_t depth, bool comment = false) {
    const std::size_t offset = FReply.pretty.size();
    FReply.pretty += FText;
    return Close(offset, depth, comment);
  }

  // Ends the line that starts at offset in the indented text.
  std::size_t Close(std::size_t offset, std::uint16_t depth, bool comment) {
    TXmlLine line;
    line.offset = offset;
    line.length = static_cast<std::uint32_t>(FReply.pretty.size() - offset);
    line.depth = depth;
    line.comment = comment;
    FReply.widestLine = std::max<std::size_t>(FReply.widestLine, line.length + 2u * depth);
    FReply.lines.push_back(line);
    return FReply.lines.size() - 1;
  }

  TLoadedReply& FReply;
  std::string FText;
};

const char* LocalName(const char* name) {
  const char* colon = std::strrchr(name, ':');
  return colon ? colon + 1 : name;
}

pugi::xml_node ChildByLocalName(const pugi::xml_node& parent, const char* local) {
  for (pugi::xml_node child : parent.children()) {
    if (child.type() == pugi::node_element && std::strcmp(LocalName(child.name()), local) == 0) {
      return child;
    }
  }
  return {};
}

std::string TextOf(const pugi::xml_node& node) {
  return node ? node.text().as_string() : "";
}

std::optional<TSoapFault> FindFault(const pugi::xml_document& document) {
  const pugi::xml_node envelope = document.document_element();
  if (!envelope || std::strcmp(LocalName(envelope.name()), "Envelope") != 0) {
    return std::nullopt;
  }
  const pugi::xml_node fault = ChildByLocalName(ChildByLocalName(envelope, "Body"), "Fault");
  if (!fault) {
    return std::nullopt;
  }
  TSoapFault found{TextOf(ChildByLocalName(fault, "faultcode")),
                   TextOf(ChildByLocalName(fault, "faultstring"))};
  if (found.code.empty()) { // SOAP 1.2 names them otherwise
    found.code = TextOf(ChildByLocalName(ChildByLocalName(fault, "Code"), "Value"));
    found.text = TextOf(ChildByLocalName(ChildByLocalName(fault, "Reason"), "Text"));
  }
  return found;
}

} // namespace

TLoadedReply LoadReply(const std::string& path) {
  std::string bytes;
  std::string error;
  if (!ReadFile(path, bytes, error)) {
    TLoadedReply reply;
    reply.path = path;
    reply.readError = error;
    return reply;
  }
  return PrepareReply(path, std::move(bytes));
}

TLoadedReply PrepareReply(const std::string& path, std::string raw) {
  TLoadedReply reply;
  reply.path = path;
  reply.raw = std::move(raw);
  const auto* bytes = reinterpret_cast<const unsigned char*>(reply.raw.data());
  if (reply.raw.size() >= 2 &&
      ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF))) {
    reply.rawIsUtf16 = true;
    reply.rawBigEndian = bytes[0] == 0xFE;
  }
  IndexRawLines(reply);
  if (reply.raw.size() > kIndentLimit) {
    reply.tooLargeToIndent = true; // shown raw: the tree of so large a reply would not fit well
    return reply;
  }

  pugi::xml_document document;
  const unsigned options = pugi::parse_default | pugi::parse_comments | pugi::parse_pi |
                           pugi::parse_declaration | pugi::parse_doctype;
  const pugi::xml_parse_result result =
      document.load_buffer(reply.raw.data(), reply.raw.size(), options, pugi::encoding_auto);
  if (!result) {
    TParseError error;
    error.reason = result.description();
    // Offsets count in the text as parsed; for UTF-8 and the 8-bit page that is the file.
    const std::size_t unit = reply.rawIsUtf16 ? 2 : 1;
    const auto offset = std::min<std::size_t>(static_cast<std::size_t>(result.offset) * unit +
                                                  (reply.rawIsUtf16 ? 2 : 0),
                                              reply.raw.size());
    const auto next =
        std::upper_bound(reply.rawLineStarts.begin(), reply.rawLineStarts.end(), offset);
    error.line = static_cast<std::size_t>(next - reply.rawLineStarts.begin());
    std::size_t column = 1;
    for (std::size_t i = reply.rawLineStarts[error.line - 1]; i < offset; i += unit) {
      column += unit == 2 || (static_cast<unsigned char>(reply.raw[i]) & 0xC0) != 0x80;
    }
    error.column = column;
    reply.parseError = error;
    return reply;
  }
  if (!document.first_child()) {
    reply.parseError = TParseError{1, 1, "No document element found"};
    return reply;
  }
  reply.fault = FindFault(document);
  TPrettyPrinter(reply).Print(document);
  return reply;
}

} // namespace opc

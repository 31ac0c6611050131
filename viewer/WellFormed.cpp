#include "viewer/WellFormed.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>
// Debian builds expat with its DTD features, whose declarations this unlocks.
#define XML_DTD 1
#include <expat.h>
#include <memory>

namespace opc {

namespace {

// Expanded names come as "uri SEP local SEP prefix"; the separator cannot occur in a name.
constexpr char kSeparator = '\x01';
// Pieces fed to the parser between looks at the cancel flag; expat parses straight from the
// caller's bytes and copies only a token cut at a piece's end.
constexpr std::size_t kPiece = std::size_t{4} << 20;

struct TParserDeleter {
  void operator()(XML_ParserStruct* parser) const noexcept { XML_ParserFree(parser); }
};

// The checks of Namespaces in XML that expat leaves to its caller: no colon in the local part
// of a name, in a processing instruction's target, an entity's or a notation's name.
class TChecker {
public:
  TChecker() : FParser(XML_ParserCreateNS(nullptr, kSeparator)) {
    if (!FParser) {
      throw std::bad_alloc();
    }
    XML_Parser p = FParser.get();
    XML_SetUserData(p, this);
    XML_SetReturnNSTriplet(p, XML_TRUE);
    XML_SetParamEntityParsing(p, XML_PARAM_ENTITY_PARSING_NEVER);
    // A few kilobytes may not grow into gigabytes through nested entity references.
    XML_SetBillionLaughsAttackProtectionMaximumAmplification(p, 100.0f);
    XML_SetBillionLaughsAttackProtectionActivationThreshold(p, 8ull << 20);
    XML_SetStartElementHandler(p, &TChecker::StartElement);
    XML_SetProcessingInstructionHandler(p, &TChecker::Instruction);
    XML_SetEntityDeclHandler(p, &TChecker::EntityDeclaration);
    XML_SetNotationDeclHandler(p, &TChecker::NotationDeclaration);
  }

  std::optional<TParseError> Run(std::string_view bytes, const std::atomic<bool>* cancelled) {
    XML_Parser p = FParser.get();
    std::size_t at = 0;
    do {
      if (cancelled && cancelled->load(std::memory_order_relaxed)) {
        throw TLoadCancelled{};
      }
      const std::size_t n = std::min(kPiece, bytes.size() - at);
      const bool last = at + n == bytes.size();
      if (XML_Parse(p, bytes.data() + at, static_cast<int>(n), last) != XML_STATUS_OK) {
        if (FFault) {
          return FFault;
        }
        return TParseError{XML_GetCurrentLineNumber(p), XML_GetCurrentColumnNumber(p) + 1,
                           XML_ErrorString(XML_GetErrorCode(p))};
      }
      at += n;
    } while (at < bytes.size());
    return std::nullopt;
  }

private:
  void Fail(std::string reason) {
    if (!FFault) {
      XML_Parser p = FParser.get();
      FFault = TParseError{XML_GetCurrentLineNumber(p), XML_GetCurrentColumnNumber(p) + 1,
                           std::move(reason)};
      XML_StopParser(p, XML_FALSE);
    }
  }

  // The local part of an expanded name "[uri SEP] local [SEP prefix]".
  static std::string_view Local(std::string_view expanded) {
    const auto first = expanded.find(kSeparator);
    if (first == std::string_view::npos) {
      return expanded;
    }
    const auto second = expanded.find(kSeparator, first + 1);
    return expanded.substr(first + 1, second == std::string_view::npos ? std::string_view::npos
                                                                       : second - first - 1);
  }

  void CheckName(std::string_view expanded, const char* what) {
    if (Local(expanded).find(':') != std::string_view::npos) {
      Fail(std::string(what) + " is not a qualified name (more than one colon, or an empty part)");
    }
  }

  static void XMLCALL StartElement(void* self, const XML_Char* name, const XML_Char** attributes) {
    auto* checker = static_cast<TChecker*>(self);
    checker->CheckName(name, "an element name");
    for (; *attributes; attributes += 2) {
      checker->CheckName(attributes[0], "an attribute name");
    }
  }

  static void XMLCALL Instruction(void* self, const XML_Char* target, const XML_Char*) {
    if (std::strchr(target, ':')) {
      static_cast<TChecker*>(self)->Fail("a processing instruction's target contains a colon");
    }
  }

  static void XMLCALL EntityDeclaration(void* self, const XML_Char* name, int, const XML_Char*, int,
                                        const XML_Char*, const XML_Char*, const XML_Char*,
                                        const XML_Char*) {
    if (std::strchr(name, ':')) {
      static_cast<TChecker*>(self)->Fail("an entity name contains a colon");
    }
  }

  static void XMLCALL NotationDeclaration(void* self, const XML_Char* name, const XML_Char*,
                                          const XML_Char*, const XML_Char*) {
    if (std::strchr(name, ':')) {
      static_cast<TChecker*>(self)->Fail("a notation name contains a colon");
    }
  }

  std::unique_ptr<XML_ParserStruct, TParserDeleter> FParser;
  std::optional<TParseError> FFault;
};

} // namespace

std::optional<TParseError> CheckWellFormed(std::string_view bytes,
                                           const std::atomic<bool>* cancelled) {
  static_assert(kPiece <= INT_MAX);
  // A UTF-16 entity must begin with a byte-order mark unless its declaration names the byte
  // order; expat would guess the order from "<?" and accept it.
  const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
  const bool marked =
      bytes.size() >= 2 && ((b[0] == 0xFF && b[1] == 0xFE) || (b[0] == 0xFE && b[1] == 0xFF));
  if (!marked && bytes.size() >= 2 && (b[0] == 0) != (b[1] == 0)) {
    std::string declaration;
    for (std::size_t i = 0; i + 1 < std::min<std::size_t>(bytes.size(), 200); i += 2) {
      declaration += static_cast<char>(b[i] | b[i + 1]);
    }
    for (char& c : declaration) {
      c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    const auto end = declaration.find("?>");
    if (declaration.rfind("<?XML", 0) != 0 ||
        (declaration.substr(0, end).find("UTF-16LE") == std::string::npos &&
         declaration.substr(0, end).find("UTF-16BE") == std::string::npos)) {
      return TParseError{1, 1, "UTF-16 text without a byte-order mark"};
    }
  }
  return TChecker().Run(bytes, cancelled);
}

} // namespace opc

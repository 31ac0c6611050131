#include "cli/SchemaCheck.h"

#include <cstring>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlschemas.h>
#include <stdexcept>

namespace opc::cli {

namespace {

constexpr char kXsd[] = "http://www.w3.org/2001/XMLSchema";
constexpr int kParseOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;

struct TDocFree {
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using TDoc = std::unique_ptr<xmlDoc, TDocFree>;
struct TSchemaFree {
  void operator()(xmlSchema* schema) const { xmlSchemaFree(schema); }
};
struct TParserFree {
  void operator()(xmlSchemaParserCtxt* context) const { xmlSchemaFreeParserCtxt(context); }
};
struct TValidFree {
  void operator()(xmlSchemaValidCtxt* context) const { xmlSchemaFreeValidCtxt(context); }
};

bool Is(const xmlNode* node, const char* ns, const char* local) {
  return node && node->type == XML_ELEMENT_NODE && node->ns && node->ns->href &&
         std::strcmp(reinterpret_cast<const char*>(node->ns->href), ns) == 0 &&
         std::strcmp(reinterpret_cast<const char*>(node->name), local) == 0;
}

// Depth-first, without recursion, to the first element of that name.
xmlNode* Find(xmlNode* node, const char* ns, const char* local) {
  while (node) {
    if (Is(node, ns, local)) {
      return node;
    }
    if (node->children) {
      node = node->children;
      continue;
    }
    while (node && !node->next) {
      node = node->parent;
      if (node && node->type == XML_DOCUMENT_NODE) {
        return nullptr;
      }
    }
    node = node ? node->next : nullptr;
  }
  return nullptr;
}

xmlNode* FirstElement(xmlNode* node) {
  for (; node; node = node->next) {
    if (node->type == XML_ELEMENT_NODE) {
      return node;
    }
  }
  return nullptr;
}

// A copy of the element as the root of a document of its own, with every namespace declared
// where it was in scope, so that QNames in attribute values and text keep their meaning.
TDoc Detached(xmlDoc* source, xmlNode* element) {
  TDoc doc(xmlNewDoc(BAD_CAST "1.0"));
  xmlNode* copy = xmlDocCopyNode(element, doc.get(), 1);
  xmlDocSetRootElement(doc.get(), copy);
  if (xmlNs** list = xmlGetNsList(source, element)) {
    for (xmlNs** ns = list; *ns; ++ns) {
      if (!xmlSearchNs(doc.get(), copy, (*ns)->prefix)) {
        xmlNewNs(copy, (*ns)->href, (*ns)->prefix);
      }
    }
    xmlFree(list);
  }
  xmlReconciliateNs(doc.get(), copy);
  return doc;
}

void Collect(void* target, xmlErrorPtr error) {
  auto* text = static_cast<std::string*>(target);
  std::string message = error->message ? error->message : "invalid";
  while (!message.empty() && message.back() == '\n') {
    message.pop_back();
  }
  *text += "line " + std::to_string(error->line) + ": " + message + "\n";
}

void Ignore(void*, xmlErrorPtr) {}

} // namespace

struct TSchemaCheck::TImpl {
  std::unique_ptr<xmlSchema, TSchemaFree> schema;
};

TSchemaCheck::TSchemaCheck(const std::filesystem::path& file) : FImpl(std::make_unique<TImpl>()) {
  TDoc source(xmlReadFile(file.c_str(), nullptr, kParseOptions));
  if (!source) {
    throw std::runtime_error("cannot read the schema file " + file.string());
  }
  xmlNode* schema = Find(xmlDocGetRootElement(source.get()), kXsd, "schema");
  if (!schema) {
    throw std::runtime_error(file.string() + " holds no XML Schema");
  }
  TDoc alone = Detached(source.get(), schema);
  std::unique_ptr<xmlSchemaParserCtxt, TParserFree> parser(xmlSchemaNewDocParserCtxt(alone.get()));
  xmlSchemaSetParserStructuredErrors(parser.get(), &Ignore, nullptr);
  FImpl->schema.reset(xmlSchemaParse(parser.get()));
  if (!FImpl->schema) {
    throw std::runtime_error("the schema in " + file.string() + " cannot be used");
  }
}

TSchemaCheck::~TSchemaCheck() = default;

std::string TSchemaCheck::Errors(std::string_view reply) const {
  TDoc doc(xmlReadMemory(reply.data(), static_cast<int>(reply.size()), "reply.xml", nullptr,
                         kParseOptions));
  if (!doc) {
    return "the reply is not well-formed XML\n";
  }
  xmlNode* envelope = xmlDocGetRootElement(doc.get());
  xmlNode* body = envelope ? FirstElement(envelope->children) : nullptr;
  while (body && std::strcmp(reinterpret_cast<const char*>(body->name), "Body") != 0) {
    body = FirstElement(body->next);
  }
  xmlNode* element = body ? FirstElement(body->children) : nullptr;
  if (!element) {
    return "the reply has no element in its SOAP Body\n";
  }
  if (std::strcmp(reinterpret_cast<const char*>(element->name), "Fault") == 0 && element->ns &&
      std::strcmp(reinterpret_cast<const char*>(element->ns->href),
                  "http://opcfoundation.org/webservices/XMLDA/1.0/") != 0) {
    return {};
  }
  TDoc alone = Detached(doc.get(), element);
  std::unique_ptr<xmlSchemaValidCtxt, TValidFree> validator(
      xmlSchemaNewValidCtxt(FImpl->schema.get()));
  std::string errors;
  xmlSchemaSetValidStructuredErrors(validator.get(), &Collect, &errors);
  if (xmlSchemaValidateDoc(validator.get(), alone.get()) != 0 && errors.empty()) {
    errors = "not valid against the schema\n";
  }
  return errors;
}

} // namespace opc::cli

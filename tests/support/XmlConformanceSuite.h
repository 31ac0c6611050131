#pragma once

// The cases of the W3C XML conformance collection that a non-validating, namespace-aware reader
// which never reads an external entity or DTD must judge, read from its catalogs. Shared by the
// conformance test and the parser comparison in bench/.
#include <expat.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace opc::test {

struct TConformanceCase {
  std::string id;
  std::filesystem::path file;
  bool wellFormed = false; // valid and invalid documents are well-formed; not-wf ones are not
};

inline std::string ReadWhole(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

namespace detail {

struct TCatalogReader {
  std::filesystem::path folder;
  std::vector<TConformanceCase>* cases = nullptr;

  static std::string Attribute(const XML_Char** attributes, const char* name) {
    for (; attributes[0]; attributes += 2) {
      if (std::string(attributes[0]) == name) {
        return attributes[1];
      }
    }
    return {};
  }

  static void Start(void* data, const XML_Char* name, const XML_Char** attributes) {
    auto* self = static_cast<TCatalogReader*>(data);
    if (std::string(name) != "TEST") {
      return;
    }
    const std::string type = Attribute(attributes, "TYPE");
    const std::string entities = Attribute(attributes, "ENTITIES");
    const std::string edition = Attribute(attributes, "EDITION");
    const std::string recommendation = Attribute(attributes, "RECOMMENDATION");
    const bool applies =
        (type == "valid" || type == "invalid" || type == "not-wf") &&
        (entities.empty() || entities == "none") && Attribute(attributes, "NAMESPACE") != "no" &&
        Attribute(attributes, "VERSION") != "1.1" && recommendation != "XML1.1" &&
        recommendation != "NS1.1" && (edition.empty() || edition.find('5') != std::string::npos);
    if (applies) {
      self->cases->push_back({Attribute(attributes, "ID"),
                              self->folder / Attribute(attributes, "URI"), type != "not-wf"});
    }
  }
};

inline void ReadCatalog(const std::filesystem::path& catalog, bool fragment,
                        std::vector<TConformanceCase>& cases) {
  std::string text = ReadWhole(catalog);
  if (fragment) { // the Sun catalogs hold TEST elements side by side, without a root
    const auto declEnd = text.rfind("?>", 100);
    text.insert(declEnd == std::string::npos ? 0 : declEnd + 2, "<TESTCASES>");
    text += "</TESTCASES>";
  }
  TCatalogReader reader{catalog.parent_path(), &cases};
  XML_Parser parser = XML_ParserCreate(nullptr);
  XML_SetUserData(parser, &reader);
  XML_SetStartElementHandler(parser, &TCatalogReader::Start);
  const bool ok =
      XML_Parse(parser, text.data(), static_cast<int>(text.size()), XML_TRUE) == XML_STATUS_OK;
  XML_ParserFree(parser);
  if (!ok) {
    throw std::runtime_error("cannot read the catalog " + catalog.string());
  }
}

} // namespace detail

// Every applicable case under the collection's folder; empty when the folder is absent.
inline std::vector<TConformanceCase> ConformanceCases(const std::filesystem::path& root) {
  std::vector<TConformanceCase> cases;
  if (!std::filesystem::is_directory(root)) {
    return cases;
  }
  detail::ReadCatalog(root / "xmltest/xmltest.xml", false, cases);
  for (const char* kind : {"valid", "invalid", "not-wf", "error"}) {
    detail::ReadCatalog(root / "sun" / (std::string("sun-") + kind + ".xml"), true, cases);
  }
  for (const char* kind : {"valid", "invalid", "not-wf"}) {
    detail::ReadCatalog(root / "ibm" / (std::string("ibm_oasis_") + kind + ".xml"), false, cases);
  }
  detail::ReadCatalog(root / "eduni/namespaces/1.0/rmt-ns10.xml", false, cases);
  detail::ReadCatalog(root / "eduni/namespaces/errata-1e/errata1e.xml", false, cases);
  return cases;
}

} // namespace opc::test

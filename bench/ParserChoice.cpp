// Which XML reader judges replies: each candidate on the W3C conformance collection, then its
// time and its peak memory beyond the bytes for a realistic reply, each in a fresh child process.
//   parser_choice [conformance folder] [reply size in MiB]
#include "ReadResponseFile.h"
#include "XmlConformanceSuite.h"
#include "viewer/WellFormed.h"

#include <QByteArray>
#include <QXmlStreamReader>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <iostream>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using TJudge = std::function<bool(std::string_view)>; // true: well-formed

bool ExpatAlone(std::string_view bytes) {
  XML_Parser parser = XML_ParserCreateNS(nullptr, '\x01');
  const bool ok =
      XML_Parse(parser, bytes.data(), static_cast<int>(bytes.size()), XML_TRUE) == XML_STATUS_OK;
  XML_ParserFree(parser);
  return ok;
}

bool ExpatWithChecks(std::string_view bytes) {
  return !opc::CheckWellFormed(bytes).has_value();
}

// libxml2 without a tree: its SAX2 handlers keep the DTD's entities, the content goes nowhere.
bool Libxml2(std::string_view bytes) {
  xmlSAXHandler sax;
  xmlSAXVersion(&sax, 2);
  sax.startElementNs = [](void*, const xmlChar*, const xmlChar*, const xmlChar*, int,
                          const xmlChar**, int, int, const xmlChar**) {};
  sax.endElementNs = [](void*, const xmlChar*, const xmlChar*, const xmlChar*) {};
  sax.characters = [](void*, const xmlChar*, int) {};
  sax.ignorableWhitespace = sax.characters;
  sax.cdataBlock = sax.characters;
  sax.comment = [](void*, const xmlChar*) {};
  sax.processingInstruction = [](void*, const xmlChar*, const xmlChar*) {};
  sax.reference = [](void*, const xmlChar*) {};
  sax.serror = [](void*, xmlErrorPtr) {};
  sax.error = nullptr;
  sax.warning = nullptr;
  xmlParserCtxtPtr context = xmlCreatePushParserCtxt(&sax, nullptr, nullptr, 0, nullptr);
  xmlCtxtUseOptions(context,
                    XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_HUGE);
  constexpr std::size_t piece = 1 << 20;
  for (std::size_t at = 0; at < bytes.size(); at += piece) {
    xmlParseChunk(context, bytes.data() + at, static_cast<int>(std::min(piece, bytes.size() - at)),
                  0);
  }
  xmlParseChunk(context, nullptr, 0, 1);
  const bool ok = context->wellFormed && context->nsWellFormed;
  if (context->myDoc) {
    xmlFreeDoc(context->myDoc);
  }
  xmlFreeParserCtxt(context);
  return ok;
}

bool QtStreamReader(std::string_view bytes) {
  QXmlStreamReader reader(
      QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size())));
  while (!reader.atEnd()) {
    reader.readNext();
  }
  return !reader.hasError();
}

long StatusKiB(const char* field) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind(field, 0) == 0) {
      return std::stol(line.substr(std::strlen(field) + 1));
    }
  }
  return 0;
}

double CpuMs() {
  timespec now{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

// Time and peak growth of one parse, in a child so that no parser inherits another's heap.
void Measure(const char* name, const TJudge& judge, std::string_view bytes) {
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) {
    return;
  }
  const pid_t child = ::fork();
  if (child == 0) {
    std::ofstream("/proc/self/clear_refs") << "5";
    const long before = StatusKiB("VmRSS");
    // Processor time, not wall time: the machine is shared, and a parse is all computation.
    const double start = CpuMs();
    const bool ok = judge(bytes);
    const double ms = CpuMs() - start;
    const long grown = StatusKiB("VmHWM") - before;
    char line[160];
    const int n = std::snprintf(
        line, sizeof line, "  %-20s %6.0f ms cpu %5.0f MiB/s  peak +%ld KiB  %s\n", name, ms,
        bytes.size() / 1048576.0 / (ms / 1000), grown, ok ? "well-formed" : "REJECTED");
    (void)!::write(pipeFds[1], line, static_cast<std::size_t>(n));
    ::_exit(0);
  }
  ::close(pipeFds[1]);
  char buffer[256];
  const ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
  ::close(pipeFds[0]);
  ::waitpid(child, nullptr, 0);
  std::cout.write(buffer, std::max<ssize_t>(n, 0));
}

} // namespace

int main(int argc, char** argv) {
  const std::string root = argc > 1 ? argv[1] : "../shared/xmlconf";
  const std::size_t mib = argc > 2 ? std::stoul(argv[2]) : 128;
  const std::pair<const char*, TJudge> judges[] = {{"expat", ExpatAlone},
                                                   {"expat + our checks", ExpatWithChecks},
                                                   {"libxml2 (SAX2)", Libxml2},
                                                   {"QXmlStreamReader", QtStreamReader}};
  xmlInitParser();
  const auto cases = opc::test::ConformanceCases(root);
  std::cout << "conformance: " << cases.size() << " applicable cases under " << root << "\n";
  for (const auto& [name, judge] : judges) {
    std::size_t missedNotWf = 0, rejectedWf = 0;
    for (const auto& c : cases) {
      const bool ok = judge(opc::test::ReadWhole(c.file));
      missedNotWf += !c.wellFormed && ok;
      rejectedWf += c.wellFormed && !ok;
    }
    std::cout << "  " << name << ": " << cases.size() - missedNotWf - rejectedWf << " right, "
              << missedNotWf << " not-wf accepted, " << rejectedWf << " well-formed rejected\n";
  }
  char folder[] = "/tmp/parser-choice-XXXXXX";
  if (!::mkdtemp(folder)) {
    return 1;
  }
  for (const bool indented : {false, true}) {
    const std::string path = std::string(folder) + "/reply.xml";
    opc::bench::WriteReadResponse(path, mib << 20, indented);
    const std::string bytes = opc::test::ReadWhole(path);
    std::cout << "ReadResponse, " << bytes.size() / 1048576 << " MiB, "
              << (indented ? "indented" : "one line") << ":\n";
    for (const auto& [name, judge] : judges) {
      Measure(name, judge, bytes);
    }
    std::remove(path.c_str());
  }
  ::rmdir(folder);
  return 0;
}

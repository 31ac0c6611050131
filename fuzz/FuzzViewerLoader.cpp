// The viewer's loader on any file content: both views prepared, or a parse error that points
// inside the file.
#include "viewer/LoadedReply.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const opc::TLoadedReply reply =
      opc::PrepareReply("fuzz.xml", std::string(reinterpret_cast<const char*>(data), size));
  if (reply.parseError &&
      (reply.parseError->line == 0 || reply.parseError->line > reply.rawLineStarts.size())) {
    std::abort();
  }
  for (const opc::TXmlLine& line : reply.lines) {
    if (line.offset + line.length > reply.pretty.size() || line.foldEnd >= reply.lines.size() + 1) {
      std::abort();
    }
  }
  return 0;
}

// The viewer's loader on any file content: the raw lines and, for a well-formed reply, the
// indented lines stay inside the file; a reply that is not well-formed has no indented lines and
// a parse error on one of its lines; find never reads outside the bytes.
#include "viewer/Reply.h"
#include "viewer/ReplySearch.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const opc::TReply reply = opc::PrepareReply("fuzz.xml", opc::TReplyBytes(bytes));
  if (reply.rawLineCount == 0 || reply.RawLineStart(reply.rawLineCount - 1) > size ||
      reply.RawLineOf(size) >= reply.rawLineCount) {
    std::abort();
  }
  if (reply.parseError && (reply.parseError->line == 0 || reply.Indented())) {
    std::abort();
  }
  for (std::size_t i = 0; i < reply.lines.size(); ++i) {
    const opc::TIndentedLine& line = reply.lines[i];
    if (line.offset + line.length > size || (line.foldEnd && line.foldEnd <= i) ||
        line.foldEnd >= reply.lines.size()) {
      std::abort();
    }
  }
  const opc::TReplySearch search(reply, size > 3 ? bytes.substr(size / 2, 3) : "a", false);
  for (auto at = search.Next(0); at; at = search.Next(*at + 1)) {
    if (*at + search.Length() > size) {
      std::abort();
    }
  }
  return 0;
}

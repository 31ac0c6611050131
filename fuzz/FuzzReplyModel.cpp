// The reply model on any bytes, whole and in two pieces: the same reply either way, every problem
// placed in the document; and the next-request functions on any request text.
#include "base/Error.h"
#include "xmlda/NextRequest.h"
#include "xmlda/ReplyReader.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const opc::xmlda::TReply whole = opc::xmlda::ReadReply(bytes);
  opc::xmlda::TReplyReader reader;
  const std::size_t cut = size ? data[0] % size : 0;
  reader.Feed(bytes.substr(0, cut));
  reader.Feed(bytes.substr(cut));
  const opc::xmlda::TReply pieces = reader.Finish();
  if (whole.items.size() != pieces.items.size() ||
      whole.problems.size() != pieces.problems.size() ||
      whole.elements.size() != pieces.elements.size() ||
      whole.fault.has_value() != pieces.fault.has_value()) {
    std::abort();
  }
  for (const opc::xmlda::TProblem& problem : whole.problems) {
    if (problem.line <= 0 || problem.text.empty()) {
      std::abort();
    }
  }
  // Any text as a request: changed, or refused with an Error; never a crash.
  const std::u16string request(bytes.begin(), bytes.end());
  try {
    const std::u16string next = opc::xmlda::NextBrowsePage(request, "cp");
    opc::xmlda::NextBrowsePage(next, "cp2");
  } catch (const opc::Error&) {
  }
  try {
    opc::xmlda::ReadItems(request, {{"", "a", ""}, {"p", "b&", "1"}});
  } catch (const opc::Error&) {
  }
  return 0;
}

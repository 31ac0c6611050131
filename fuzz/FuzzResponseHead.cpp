// The layer's reading of status lines and header lines, fed line by line as curl hands them.
#include "transport/inet/ResponseHead.h"

#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  opc::inet::detail::TResponseHead head;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    end = end == std::string_view::npos ? text.size() : end + 1;
    head.Feed(text.substr(start, end - start));
    start = end;
  }
  if (head.Status() < 0 || head.Status() > 999) {
    std::abort();
  }
  (void)head.Header("Content-Type", 0);
  (void)head.Raw();
  return 0;
}

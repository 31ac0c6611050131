#include "roundtrip/TemplateFile.h"

#include "base/Error.h"
#include "base/Format.h"
#include "base/SystemError.h"
#include "base/UniqueFd.h"
#include "roundtrip/FileMessages.h"
#include "roundtrip/PathText.h"
#include "text/LineBreaks.h"
#include "text/TextDecoding.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <vector>

namespace opc {

namespace {

[[noreturn]] void RaiseOpenError(const std::filesystem::path& path, int code) {
  throw Error(Format(kCannotOpenFile, {PathText(path), SystemErrorText(code)}));
}

std::vector<std::uint8_t> ReadWholeFile(const std::filesystem::path& path) {
  const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) {
    RaiseOpenError(path, errno);
  }
  std::vector<std::uint8_t> bytes;
  std::uint8_t chunk[65536];
  for (;;) {
    const ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
    if (n == 0) {
      break;
    }
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      // A folder of that name opens but does not read: the same failure as a missing file.
      RaiseOpenError(path, errno);
    }
    bytes.insert(bytes.end(), chunk, chunk + n);
  }
  return bytes;
}

} // namespace

std::u16string LoadTemplateText(const std::filesystem::path& path) {
  const std::vector<std::uint8_t> bytes = ReadWholeFile(path);
  return NormalizeLineBreaks(DecodeText(bytes));
}

} // namespace opc

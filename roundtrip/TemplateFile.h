#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace opc {

// The largest template the request editor takes, in bytes of the file: 64 MiB. A request body
// that size is far beyond any OPC XML-DA request, and the editor needs several times the text's
// size to lay it out (a 100 MB template took 18 s to open and 500 MB ended the program), so a
// larger file is refused before it is read.
inline constexpr std::size_t kTemplateCapacity = std::size_t{64} << 20;

// Reads a request template whole, decodes it by its byte-order mark and turns every line break
// into CR LF. Raises Error "Cannot open file "<path>". <reason>" when it cannot be read, and the
// no-mapping error when its bytes do not decode. Only regular files are read: a pipe, a device or
// a socket fails at once with the open error; a file above kTemplateCapacity fails with
// "Text exceeds memo capacity".
std::u16string LoadTemplateText(const std::filesystem::path& path);

} // namespace opc

#pragma once

#include <filesystem>
#include <string>

namespace opc {

// Reads a request template whole, decodes it by its byte-order mark and turns every line break
// into CR LF. Raises Error "Cannot open file "<path>". <reason>" when it cannot be read, and the
// no-mapping error when its bytes do not decode.
std::u16string LoadTemplateText(const std::filesystem::path& path);

} // namespace opc

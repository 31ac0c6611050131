#pragma once

#include <filesystem>
#include <string>

namespace opc {

// A path as a message shows it: its bytes decoded in the locale's encoding. The path itself is
// only ever used as the file system's bytes, so a name that does not decode still opens.
std::u16string PathText(const std::filesystem::path& path);

} // namespace opc

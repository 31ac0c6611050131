#include "roundtrip/PathText.h"

#include "base/LocaleText.h"

namespace opc {

std::u16string PathText(const std::filesystem::path& path) {
  return DecodeLocaleText(path.native());
}

} // namespace opc

#pragma once

namespace opc {

// The platform's text for bytes that do not decode in the encoding their mark announces.
inline constexpr char16_t kNoMappingMessage[] =
    u"No mapping for the Unicode character exists in the target multi-byte code page";

} // namespace opc

#pragma once

namespace opc {

// The messages of the round trip's file steps, defined once.
inline constexpr char16_t kCannotOpenFile[] = u"Cannot open file \"%s\". %s";
inline constexpr char16_t kCannotCreateFile[] = u"Cannot create file \"%s\". %s";
inline constexpr char16_t kStreamWriteError[] = u"Stream write error";
inline constexpr char16_t kResponseFileName[] = u"Response.xml";

} // namespace opc

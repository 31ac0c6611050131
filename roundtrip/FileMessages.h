#pragma once

namespace opc {

// The messages of the round trip's file steps, defined once.
inline constexpr char16_t kCannotOpenFile[] = u"Cannot open file \"%s\". %s";
inline constexpr char16_t kCannotCreateFile[] = u"Cannot create file \"%s\". %s";
inline constexpr char16_t kStreamWriteError[] = u"Stream write error";
inline constexpr char16_t kTextExceedsMemoCapacity[] = u"Text exceeds memo capacity";
// The reasons given where the platform has no text of its own.
inline constexpr char16_t kNotARegularFile[] = u"It is not a regular file";
inline constexpr char16_t kIsASymbolicLink[] =
    u"It is a symbolic link; the file it points to is never written";
inline constexpr char16_t kResponseFileName[] = u"Response.xml";

} // namespace opc

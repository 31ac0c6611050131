#pragma once

#include <QString>
#include <filesystem>
#include <string>

namespace opc {

// The folder of the running executable with a trailing "/", links resolved; templates and the
// response file lie there whatever the working directory. It is kept as the file system's bytes,
// so a folder whose name is not valid UTF-8 is still found.
std::filesystem::path ExecutableFolder();

// The executable's path cut after its last "/", the "/" kept.
std::filesystem::path FolderOfExecutable(const std::string& executablePath);

// The executable's file name after the last separator, cut at its first full stop, every
// character after the first in lower case: "MYTOOL.EXE" gives "Mytool".
QString ApplicationTitleFromPath(const QString& executablePath);

} // namespace opc

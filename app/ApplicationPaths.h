#pragma once

#include <QString>

namespace opc {

// The folder of the running executable with a trailing "/", links resolved; templates and the
// response file lie there whatever the working directory.
QString ExecutableFolder();

// The executable's file name after the last separator, cut at its first full stop, every
// character after the first in lower case: "MYTOOL.EXE" gives "Mytool".
QString ApplicationTitleFromPath(const QString& executablePath);

} // namespace opc

#pragma once

#include "xmlda/ResultCodes.h"

#include <QColor>

namespace opc {

// The colours the Items view gives a quality and an error, so that a bad value stands out before
// its words are read.
QColor QualityColour(xmlda::TQualityClass quality);
QColor ErrorColour();

} // namespace opc

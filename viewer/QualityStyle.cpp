#include "viewer/QualityStyle.h"

namespace opc {

QColor QualityColour(xmlda::TQualityClass quality) {
  switch (quality) {
  case xmlda::TQualityClass::Good:
    return QColor(0x1b, 0x7a, 0x1b);
  case xmlda::TQualityClass::Uncertain:
    return QColor(0xb3, 0x6b, 0x00);
  case xmlda::TQualityClass::Bad:
    break;
  }
  return ErrorColour();
}

QColor ErrorColour() {
  return QColor(0xc0, 0x00, 0x00);
}

} // namespace opc

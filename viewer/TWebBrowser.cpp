#include "viewer/TWebBrowser.h"

namespace opc {

TWebBrowser::TWebBrowser(QWidget* parent) : QFrame(parent) {
  setFrameShape(QFrame::StyledPanel);
  setFocusPolicy(Qt::StrongFocus);
  setAutoFillBackground(true);
  QPalette p = palette();
  p.setColor(QPalette::Window, p.color(QPalette::Base));
  setPalette(p);
}

} // namespace opc

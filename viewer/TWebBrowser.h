#pragma once

#include <QFrame>

namespace opc {

// The response viewer. It shows nothing until a response is loaded into it.
class TWebBrowser : public QFrame {
  Q_OBJECT
public:
  explicit TWebBrowser(QWidget* parent = nullptr);
};

} // namespace opc

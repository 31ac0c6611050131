#pragma once

#include <QPlainTextEdit>

namespace opc {

// The request editor: plain text, no wrapping, both scroll bars, no border, Tab moves the focus.
// Its text is given out and taken with CR LF between lines.
class TMemo : public QPlainTextEdit {
  Q_OBJECT
public:
  explicit TMemo(QWidget* parent = nullptr);

  QString Text() const;
  // Keeps the text only up to its first NUL, as the editor control can hold no NUL.
  void SetText(const QString& text);
};

} // namespace opc

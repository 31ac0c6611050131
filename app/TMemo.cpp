#include "app/TMemo.h"

#include <QTextDocument>

namespace opc {

using namespace Qt::StringLiterals;

TMemo::TMemo(QWidget* parent) : QPlainTextEdit(parent) {
  setFrameShape(QFrame::NoFrame);
  setLineWrapMode(QPlainTextEdit::NoWrap);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setTabChangesFocus(true);
}

QString TMemo::Text() const {
  // The raw text keeps every character as typed (toPlainText would turn no-break spaces into
  // blanks); blocks are separated by the paragraph separator.
  QString text = document()->toRawText();
  text.replace(QChar(QChar::ParagraphSeparator), u"\r\n"_s);
  return text;
}

void TMemo::SetText(const QString& text) {
  QString kept = text.left(text.indexOf(QChar(u'\0')));
  kept.replace(u"\r\n"_s, u"\n"_s);
  setPlainText(kept);
}

} // namespace opc

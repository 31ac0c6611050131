#include "viewer/TElidedLabel.h"

#include <QResizeEvent>

namespace opc {

TElidedLabel::TElidedLabel(QWidget* parent) : QLabel(parent) {
  // The label's own wishes are ignored by the layout: what it shows is fitted to what it gets.
  setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void TElidedLabel::SetFullText(const QString& text) {
  FFull = text;
  setToolTip(text.trimmed());
  Elide();
}

QSize TElidedLabel::minimumSizeHint() const {
  return {0, QLabel::minimumSizeHint().height()};
}

void TElidedLabel::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  Elide();
}

void TElidedLabel::Elide() {
  setText(fontMetrics().elidedText(FFull, Qt::ElideMiddle, contentsRect().width()));
}

} // namespace opc

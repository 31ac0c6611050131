#include "app/TSplitter.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

namespace opc {

namespace {

constexpr int kMinHeight = 30;

class HatchedLine : public QWidget {
public:
  using QWidget::QWidget;

protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(rect(), QBrush(palette().color(QPalette::WindowText), Qt::Dense4Pattern));
  }
};

} // namespace

TSplitter::TSplitter(QWidget* controlled, int reserved, QWidget* parent)
    : QWidget(parent), FControlled(controlled), FReserved(reserved) {
  setCursor(Qt::SplitVCursor);
  setFixedHeight(8);
}

int TSplitter::NewHeight(int oldHeight, int dragged, int clientHeight, int reserved) {
  const int wanted = std::min(oldHeight + dragged, clientHeight - reserved);
  return wanted <= kMinHeight ? 0 : wanted;
}

int TSplitter::Dragged(const QPointF& globalPos) const {
  return static_cast<int>(globalPos.y()) - FStartY;
}

void TSplitter::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    return;
  }
  FDragging = true;
  FStartY = static_cast<int>(event->globalPosition().y());
  if (!FLine) {
    FLine = new HatchedLine(parentWidget());
  }
  FLine->setGeometry(geometry());
  FLine->raise();
  FLine->show();
  grabKeyboard();
}

void TSplitter::mouseMoveEvent(QMouseEvent* event) {
  if (!FDragging) {
    return;
  }
  const int height = NewHeight(FControlled->height(), Dragged(event->globalPosition()),
                               parentWidget()->height(), FReserved);
  FLine->move(x(), FControlled->y() + height);
}

void TSplitter::mouseReleaseEvent(QMouseEvent* event) {
  if (!FDragging || event->button() != Qt::LeftButton) {
    return;
  }
  const int height = NewHeight(FControlled->height(), Dragged(event->globalPosition()),
                               parentWidget()->height(), FReserved);
  EndDrag();
  FControlled->setFixedHeight(height);
}

void TSplitter::keyPressEvent(QKeyEvent* event) {
  if (FDragging && event->key() == Qt::Key_Escape) {
    EndDrag();
    return;
  }
  QWidget::keyPressEvent(event);
}

void TSplitter::EndDrag() {
  FDragging = false;
  releaseKeyboard();
  if (FLine) {
    FLine->hide();
  }
}

} // namespace opc

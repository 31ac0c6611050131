#pragma once

#include <QWidget>

namespace opc {

// A horizontal splitter bar that sets the height of the control directly above it. While the
// button is held a hatched line marks the new position; the height changes on release, kept
// between 30 px and the client height minus what the bars below need, and a drag ending at 30 px
// or less collapses the control. Escape cancels the drag.
class TSplitter : public QWidget {
  Q_OBJECT
public:
  // reserved: the height of the window's bars that are not the controlled one, plus what the
  // filling control always keeps.
  TSplitter(QWidget* controlled, int reserved, QWidget* parent);

  static int NewHeight(int oldHeight, int dragged, int clientHeight, int reserved);

protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

private:
  void EndDrag();
  int Dragged(const QPointF& globalPos) const;

  QWidget* FControlled;
  int FReserved;
  QWidget* FLine = nullptr; // the hatched line shown while dragging
  int FStartY = 0;
  bool FDragging = false;
};

} // namespace opc

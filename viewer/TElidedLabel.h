#pragma once

#include <QLabel>

namespace opc {

// A one-line label that gives way: beside the viewer's tabs it takes only the room the tabs
// leave, and a text too long for that room loses its middle, so the start of the path and the
// reply's size stay readable. The whole text is its tool tip.
class TElidedLabel : public QLabel {
  Q_OBJECT
public:
  explicit TElidedLabel(QWidget* parent = nullptr);

  void SetFullText(const QString& text);
  const QString& FullText() const { return FFull; }

  QSize minimumSizeHint() const override;

protected:
  void resizeEvent(QResizeEvent* event) override;

private:
  void Elide();

  QString FFull;
};

} // namespace opc

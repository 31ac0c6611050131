#pragma once

#include <QObject>
#include <QString>

namespace opc {

class TForm1;
struct TNextRequest;

// Puts the next request the user asked for on the Items view into the window: the operation is
// chosen in the operation list and its request text goes into the editor. Nothing is sent; the
// Go command still only reads the controls. The text is made from the operation's template, read
// as choosing the operation reads it, and for a next page from the request that was answered.
class TItemsActions : public QObject {
  Q_OBJECT
public:
  explicit TItemsActions(TForm1& form);

  // The Go command sent this request and the viewer now shows its reply.
  void NoteAnswered(const QString& request) { FAnswered = request; }
  // Raises Error when the request cannot be made; the list and the editor are then left as they
  // were, so nothing the user typed is lost to a failed action.
  void Apply(const TNextRequest& next);

private:
  TForm1& FForm;
  QString FAnswered;
};

} // namespace opc
